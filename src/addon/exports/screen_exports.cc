// getDisplays, captureDisplay and captureWindow: argument conversion and result
// objects; the work is in src/screen.
#include "addon/exports/answer.h"
#include "addon/exports/captured_image.h"
#include "addon/exports/exports.h"
#include "addon/test_faults.h"
#include "addon/deferred.h"
#include "screen/screen.h"

namespace deskcap::js {
namespace {

Build display_info(napi_env env, const DisplayEntry& d, ListSlot slot) {
  return make_object(env,
                     {
                         {"id", d.id},
                         {"name", [&](napi_env e) { return make_string(e, d.name); }},
                         {"x", d.x},
                         {"y", d.y},
                         {"width", d.width},
                         {"height", d.height},
                         {"scaleFactor", d.scale_factor},
                         {"isPrimary", d.is_primary},
                     },
                     slot);
}

// A required number field of `object`, its failures located at Object.field.
template <class T, class ReadFn>
Result<T> required_field(napi_env env, napi_value object, const char* owner, const char* field, ReadFn read) {
  auto present = read_object_field(env, object, field);
  if (!present.ok()) return present.take_error();
  if (!present.value()) return Error(Status::InvalidArg, std::string("Missing field `") + field + "`");
  auto value = read(env, *present.value());
  if (!value.ok()) return located(value.take_error(), owner, field);
  return value.take();
}

Result<CropRect> read_crop_bounds(napi_env env, napi_value object) {
  CropRect crop;
  struct {
    const char* name;
    double* slot;
  } fields[] = {{"x", &crop.x}, {"y", &crop.y}, {"width", &crop.width}, {"height", &crop.height}};
  for (auto& f : fields) {
    auto v = required_field<double>(env, object, "CropBounds", f.name, read_double);
    if (!v.ok()) return v.take_error();
    *f.slot = v.value();
  }
  return crop;
}

Result<CaptureRequest> read_capture_options(napi_env env, napi_value options) {
  CaptureRequest request;
  auto id = required_field<uint32_t>(env, options, "CaptureOptions", "displayId", read_uint32);
  if (!id.ok()) return id.take_error();
  request.display_id = id.value();

  auto exclude = read_object_field(env, options, "excludeWindowIds");
  if (!exclude.ok()) return exclude.take_error();
  if (exclude.value()) {
    auto ids = read_uint32_array(env, *exclude.value());
    if (!ids.ok()) return located(ids.take_error(), "CaptureOptions", "excludeWindowIds");
    request.exclude_window_ids = ids.take();
  }

  auto crop = read_object_field(env, options, "cropBounds");
  if (!crop.ok()) return crop.take_error();
  if (crop.value()) {
    auto rect = read_crop_bounds(env, *crop.value());
    if (!rect.ok()) return located(rect.take_error(), "CaptureOptions", "cropBounds");
    request.crop = rect.value();
  }
  return request;
}

}  // namespace

napi_value get_displays(napi_env env, napi_callback_info) {
  return start_promise<std::vector<DisplayEntry>>(
      env, Where::Scheduler,
      [] {
        maybe_inject_fault("getDisplays");
        return deskcap::get_displays();
      },
      [](napi_env e, const std::vector<DisplayEntry>& list) { return make_array(e, list, display_info); });
}

napi_value capture_display(napi_env env, napi_callback_info info) {
  auto args = read_arguments(env, info, 1);
  if (!args.ok()) return fail(env, args.take_error());
  auto request = read_capture_options(env, args.value()[0]);
  if (!request.ok()) return fail(env, request.take_error());
  return start_promise<CapturedPng>(
      env, Where::Scheduler, [r = request.take()] { return deskcap::capture_display(r); }, captured_image);
}

napi_value capture_window(napi_env env, napi_callback_info info) {
  auto args = read_arguments(env, info, 1);
  if (!args.ok()) return fail(env, args.take_error());
  auto id = read_uint32(env, args.value()[0]);
  if (!id.ok()) return fail(env, id.take_error());
  return start_promise<CapturedPng>(
      env, Where::Scheduler, [id = id.value()] { return deskcap::capture_window(id); }, captured_image);
}

}  // namespace deskcap::js
