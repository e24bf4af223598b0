// setWorld and probe: the two exports only deskcap/testing has.
#include <node_api.h>

#include <string>

#include "addon/convert.h"
#include "addon/deferred.h"
#include "addon/exports/answer.h"
#include "addon/js_error.h"
#include "addon/registry.h"
#include "platform/fake/base_world_fake.h"
#include "testing/world_control.h"

namespace deskcap::js {
namespace {

using fake::json;

// JSON.stringify or JSON.parse of the host, so that a world is read exactly
// as JavaScript writes it.
Result<napi_value> call_json(napi_env env, const char* method, napi_value argument) {
  napi_value global = nullptr, json_object = nullptr, fn = nullptr, result = nullptr;
  napi_status s = napi_get_global(env, &global);
  if (s == napi_ok) s = napi_get_named_property(env, global, "JSON", &json_object);
  if (s == napi_ok) s = napi_get_named_property(env, json_object, method, &fn);
  if (s == napi_ok) s = napi_call_function(env, json_object, fn, 1, &argument, &result);
  if (s != napi_ok) return napi_error(s, std::string("JSON.") + method + " failed");
  return result;
}

// JSON.stringify threw (a cycle, a BigInt, a string too long): the world is
// refused as an argument error naming the reason, not with the host's bare error.
Error not_json(napi_env env, Error error, const char* call) {
  bool pending = false;
  napi_value exception = nullptr, message = nullptr;
  if (napi_is_exception_pending(env, &pending) != napi_ok || !pending ||
      napi_get_and_clear_last_exception(env, &exception) != napi_ok)
    return error;
  std::string reason = "the world cannot be written as JSON";
  if (napi_coerce_to_string(env, exception, &message) == napi_ok) {
    auto text = read_string(env, message);
    if (text.ok()) reason += ": " + text.value();
  }
  return Error(Status::InvalidArg, std::string(call) + ": " + reason);
}

Result<json> world_argument(napi_env env, napi_callback_info info, const char* call) {
  auto args = read_arguments(env, info, 1);
  if (!args.ok()) return args.take_error();
  napi_value value = args.value()[0];
  napi_valuetype type = napi_undefined;
  napi_status s = napi_typeof(env, value, &type);
  if (s != napi_ok) return napi_error(s, "Failed to read the world argument");
  try {
    if (type == napi_string) {
      auto path = read_string(env, value);
      if (!path.ok()) return path.take_error();
      if (path.value().find('\0') != std::string::npos)
        return Error(Status::InvalidArg, std::string(call) + ": the path of the world file holds a NUL byte");
      return fake::read_world_file(path.value());
    }
    if (type != napi_object)
      return Error(Status::InvalidArg, std::string(call) + " takes a world object or the path of a JSON file");
    auto text = call_json(env, "stringify", value);
    if (!text.ok()) return not_json(env, text.take_error(), call);
    auto chars = read_string(env, text.value());
    if (!chars.ok()) return chars.take_error();
    return json::parse(chars.value());
  } catch (const fake::WorldError& e) {
    return Error(Status::InvalidArg, e.what());
  } catch (const std::exception& e) {
    return Error(Status::InvalidArg, std::string("the world is not JSON: ") + e.what());
  }
}

// Runs `body`, which changes the world: undefined, or its refusal thrown.
template <class Body>
napi_value world_call(napi_env env, const char* call, Body body) {
  try {
    body();
  } catch (const fake::WorldError& e) {
    return fail(env, Error(Status::InvalidArg, e.what()));
  } catch (const std::exception& e) {
    return fail(env, Error(Status::GenericFailure, std::string(call) + " failed: " + e.what()));
  }
  napi_value undefined = nullptr;
  napi_get_undefined(env, &undefined);
  return undefined;
}

napi_value set_world(napi_env env, napi_callback_info info) {
  auto document = world_argument(env, info, "setWorld");
  if (!document.ok()) return fail(env, document.take_error());
  // Work of the previous world still runs on the pool and reads its state.
  if (size_t busy = work_in_flight(); busy > 0)
    return fail(env, Error(Status::GenericFailure,
                           "setWorld: " + std::to_string(busy) +
                               " call(s) of the previous world are still in flight; await them first"));
  return world_call(env, "setWorld", [&] { testing::install_world(document.value()); });
}

// Unlike setWorld it may run while calls are in flight: a Mac changes under
// running work too.
napi_value change_world(napi_env env, napi_callback_info info) {
  auto patch = world_argument(env, info, "changeWorld");
  if (!patch.ok()) return fail(env, patch.take_error());
  return world_call(env, "changeWorld", [&] { testing::change_world(patch.value()); });
}

napi_value probe(napi_env env, napi_callback_info) {
  std::string text;
  try {
    // The first call reads DESKCAP_FAKE_WORLD, so that a bad file fails the load.
    fake::load_environment_world();
    json counters = testing::probe_counters();
    counters["callsInFlight"] = work_in_flight();
    text = counters.dump();
  } catch (const fake::WorldError& e) {
    return fail(env, Error(Status::InvalidArg, e.what()));
  } catch (const std::exception& e) {
    return fail(env, Error(Status::GenericFailure, std::string("probe failed: ") + e.what()));
  }
  napi_value chars = nullptr;
  napi_status s = napi_create_string_utf8(env, text.data(), text.size(), &chars);
  if (s != napi_ok) return fail(env, napi_error(s, "probe failed"));
  auto value = call_json(env, "parse", chars);
  if (!value.ok()) return fail(env, value.take_error());
  return value.value();
}

#define UNGUARDED_EXPORT(js, native) ExportEntry{#js, sizeof(#js), #native, &native}

const bool kRegistered = [] {
  register_export(UNGUARDED_EXPORT(setWorld, set_world));
  register_export(UNGUARDED_EXPORT(changeWorld, change_world));
  register_export(UNGUARDED_EXPORT(probe, probe));
  return true;
}();

#undef UNGUARDED_EXPORT

}  // namespace
}  // namespace deskcap::js
