// getDisplays, captureDisplay and captureWindow: argument conversion and result
// objects; the work is in src/screen.
#include <cmath>

#include "addon/exports/answer.h"
#include "addon/exports/captured_image.h"
#include "addon/exports/described.h"
#include "addon/exports/exports.h"
#include "addon/exports/stream_handle.h"
#include "addon/test_faults.h"
#include "addon/deferred.h"
#include "screen/screen.h"

namespace deskcap::js {

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

namespace {


// An optional field of `object` read by `read`; nullopt when absent.
template <class T, class ReadFn>
Result<std::optional<T>> optional_field(napi_env env, napi_value object, const char* owner, const char* field,
                                        ReadFn read) {
  auto present = read_object_field(env, object, field);
  if (!present.ok()) return present.take_error();
  if (!present.value()) return std::optional<T>();
  auto value = read(env, *present.value());
  if (!value.ok()) return located(value.take_error(), owner, field);
  return std::optional<T>(value.take());
}

// A required field of `object`, its failures located at Object.field.
template <class T, class ReadFn>
Result<T> required_field(napi_env env, napi_value object, const char* owner, const char* field, ReadFn read) {
  auto value = optional_field<T>(env, object, owner, field, read);
  if (!value.ok()) return value.take_error();
  if (!value.value()) return Error(Status::InvalidArg, std::string("Missing field `") + field + "`");
  return std::move(*value.value());
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

Error out_of_range(const char* wanted, double got, const char* owner, const char* field) {
  return located(Error(Status::InvalidArg, std::string("Expected ") + wanted + ", got " + number_text(got)), owner,
                 field);
}

bool whole(double v) { return std::isfinite(v) && std::floor(v) == v; }

// format, quality, maxWidth, maxHeight and showCursor of `options`.
Result<OutputOptions> read_output_options(napi_env env, napi_value options, const char* owner) {
  OutputOptions out;
  auto format = optional_field<std::string>(env, options, owner, "format", read_string);
  if (!format.ok()) return format.take_error();
  if (const auto& name = format.value()) {
    if (*name == "png") out.format = ImageFormat::Png;
    else if (*name == "jpeg") out.format = ImageFormat::Jpeg;
    else if (*name == "raw") out.format = ImageFormat::Raw;
    else
      return located(Error(Status::InvalidArg, "Unknown format `" + *name + "`, expected `png`, `jpeg` or `raw`"),
                     owner, "format");
  }
  auto quality = optional_field<double>(env, options, owner, "quality", read_double);
  if (!quality.ok()) return quality.take_error();
  if (auto q = quality.value()) {
    if (!whole(*q) || *q < 1 || *q > 100) return out_of_range("an integer from 1 to 100", *q, owner, "quality");
    out.quality = static_cast<int>(*q);
  }
  struct {
    const char* name;
    std::optional<uint32_t>* slot;
  } limits[] = {{"maxWidth", &out.max_width}, {"maxHeight", &out.max_height}};
  for (auto& limit : limits) {
    auto v = optional_field<double>(env, options, owner, limit.name, read_double);
    if (!v.ok()) return v.take_error();
    if (auto n = v.value()) {
      if (!whole(*n) || *n < 1) return out_of_range("a positive integer", *n, owner, limit.name);
      // No image is wider than 2^32 - 1 pixels: a larger limit limits nothing.
      *limit.slot = *n >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(*n);
    }
  }
  auto cursor = optional_field<bool>(env, options, owner, "showCursor", read_bool);
  if (!cursor.ok()) return cursor.take_error();
  out.show_cursor = cursor.value().value_or(false);
  return out;
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
  auto output = read_output_options(env, options, "CaptureOptions");
  if (!output.ok()) return output.take_error();
  request.output = output.take();
  return request;
}

// An optional whole number of `options` within [low, high].
Result<std::optional<uint32_t>> bounded_integer(napi_env env, napi_value options, const char* owner,
                                                const char* field, uint32_t low, uint32_t high) {
  auto v = optional_field<double>(env, options, owner, field, read_double);
  if (!v.ok()) return v.take_error();
  if (!v.value()) return std::optional<uint32_t>();
  double n = *v.value();
  if (!whole(n) || n < low || n > high) {
    std::string wanted = "an integer from " + std::to_string(low) + " to " + std::to_string(high);
    return out_of_range(wanted.c_str(), n, owner, field);
  }
  return std::optional<uint32_t>(static_cast<uint32_t>(n));
}

Result<StreamRequest> read_stream_options(napi_env env, napi_value options) {
  constexpr const char* kOwner = "StreamOptions";
  StreamRequest request;
  auto display = optional_field<uint32_t>(env, options, kOwner, "displayId", read_uint32);
  if (!display.ok()) return display.take_error();
  auto window = optional_field<uint32_t>(env, options, kOwner, "windowId", read_uint32);
  if (!window.ok()) return window.take_error();
  if (display.value().has_value() == window.value().has_value())
    return Error(Status::InvalidArg, "Expected exactly one of `displayId` and `windowId`");
  request.display_id = display.value();
  request.window_id = window.value();

  auto exclude = read_object_field(env, options, "excludeWindowIds");
  if (!exclude.ok()) return exclude.take_error();
  auto crop = read_object_field(env, options, "cropBounds");
  if (!crop.ok()) return crop.take_error();
  if (request.window_id && (exclude.value() || crop.value()))
    return Error(Status::InvalidArg, "`excludeWindowIds` and `cropBounds` apply to display streams only");
  if (exclude.value()) {
    auto ids = read_uint32_array(env, *exclude.value());
    if (!ids.ok()) return located(ids.take_error(), kOwner, "excludeWindowIds");
    request.exclude_window_ids = ids.take();
  }
  if (crop.value()) {
    auto rect = read_crop_bounds(env, *crop.value());
    if (!rect.ok()) return located(rect.take_error(), kOwner, "cropBounds");
    request.crop = rect.value();
  }

  auto fps = bounded_integer(env, options, kOwner, "fps", 1, 60);
  if (!fps.ok()) return fps.take_error();
  request.fps = fps.value().value_or(10);
  auto queued = bounded_integer(env, options, kOwner, "maxQueued", 1, 1000);
  if (!queued.ok()) return queued.take_error();
  request.max_queued = queued.value().value_or(2);
  auto changed = optional_field<bool>(env, options, kOwner, "onlyChanged", read_bool);
  if (!changed.ok()) return changed.take_error();
  request.only_changed = changed.value().value_or(false);

  auto output = read_output_options(env, options, kOwner);
  if (!output.ok()) return output.take_error();
  request.output = output.take();
  return request;
}

}  // namespace

napi_value start_capture(napi_env env, napi_callback_info info) {
  auto args = read_arguments(env, info, 2);
  if (!args.ok()) return fail(env, args.take_error());
  auto request = read_stream_options(env, args.value()[0]);
  if (!request.ok()) return fail(env, request.take_error());
  napi_valuetype type = napi_undefined;
  if (napi_status s = napi_typeof(env, args.value()[1], &type); s != napi_ok)
    return fail(env, napi_error(s, "Failed to read the stream's callback"));
  if (type != napi_function) return fail(env, Error(Status::FunctionExpected, "Expected a function"));
  auto handle = make_stream_handle(env, request.take(), args.value()[1]);
  if (!handle.ok()) return fail(env, handle.take_error());
  return handle.value();
}

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
  return start_promise<Screenshot>(
      env, Where::Scheduler, [r = request.take()] { return deskcap::capture_display(r); }, screenshot_image);
}

napi_value capture_window(napi_env env, napi_callback_info info) {
  auto args = read_arguments(env, info, 2);
  if (!args.ok()) return fail(env, args.take_error());
  auto id = read_uint32(env, args.value()[0]);
  if (!id.ok()) return fail(env, id.take_error());
  OutputOptions output;
  // Undefined (also when absent) and null both leave every option at its default.
  napi_valuetype type = napi_undefined;
  if (napi_status s = napi_typeof(env, args.value()[1], &type); s != napi_ok)
    return fail(env, napi_error(s, "Failed to read the capture options"));
  if (type != napi_undefined && type != napi_null) {
    auto read = read_output_options(env, args.value()[1], "WindowCaptureOptions");
    if (!read.ok()) return fail(env, read.take_error());
    output = read.take();
  }
  return start_promise<Screenshot>(
      env, Where::Scheduler, [id = id.value(), output] { return deskcap::capture_window(id, output); },
      screenshot_image);
}

}  // namespace deskcap::js
