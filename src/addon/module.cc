// The module entry: registers the exports in every JavaScript environment that
// loads the library, keeps the worker pool alive while any of them is.
#include <node_api.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <string>

#include "addon/guard.h"
#include "addon/js_error.h"
#include "addon/registry.h"
#include "addon/runtime.h"
#include "addon/test_interleave.h"

namespace deskcap::js {
namespace {

// Set once the process's first registration has ended, however it ended.
// Never destroyed: a Worker may register while the process exits.
struct FirstRegistration {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;

  void wait() {
    std::unique_lock<std::mutex> lock(mutex);
    ended.wait(lock, [this] { return done; });
  }
  void finish() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (done) return;
      done = true;
    }
    ended.notify_all();
  }
};

FirstRegistration& first_registration() {
  static FirstRegistration& f = *new FirstRegistration;
  return f;
}

thread_local bool t_on_js_thread = false;

// Every registered environment holds the pool; the last one to go shuts it
// down, so a later environment starts a fresh one.
void environment_gone(void*) { release_runtime(); }

// Exports are set in an order seeded per process, so callers cannot come to
// rely on the property order of the exports object.
std::vector<ExportEntry> in_seeded_order(std::vector<ExportEntry> entries) {
  static const uint64_t seed = std::random_device{}();
  auto key = [](const ExportEntry& e) { return std::hash<std::string>{}(e.js_name) ^ seed; };
  std::stable_sort(entries.begin(), entries.end(),
                   [&](const ExportEntry& a, const ExportEntry& b) { return key(a) < key(b); });
  return entries;
}

napi_value register_module(napi_env env, napi_value exports) {
  interleave_before_registration();
  if (hold_runtime() != 0) {
    // A second environment never registers while the first is still doing so.
    first_registration().wait();
  }
  // However this registration ends (an exception included), later ones may go on.
  struct Done {
    ~Done() {
      first_registration().finish();
      interleave_after_registration();
    }
  } done;
  // The hook comes before anything that can fail, so that this environment
  // always gives its hold on the pool back.
  napi_status s = napi_add_env_cleanup_hook(env, environment_gone, nullptr);
  if (s != napi_ok) {
    release_runtime();
    throw_error(env, napi_error(s, "Failed to add env cleanup hook"));
    return exports;
  }
  t_on_js_thread = true;
  for (const ExportEntry& entry : in_seeded_order(registered_exports())) {
    auto fn = create_export(env, entry);
    if (!fn.ok()) {
      throw_error(env, fn.take_error());
      continue;
    }
    s = napi_set_named_property(env, exports, entry.js_name, fn.value());
    if (s != napi_ok)
      throw_error(env, napi_error(s, std::string("Failed to register export `") + entry.js_name + "`"));
  }
  return exports;
}

}  // namespace
}  // namespace deskcap::js

// napi_register_module_v1 and node_api_module_get_api_version_v1 (NAPI_VERSION):
// the only two symbols the addon exports.
NAPI_MODULE_INIT() {
  return deskcap::js::guarded(env, "Module registration", [&] { return deskcap::js::register_module(env, exports); });
}
