// The objects of captured images: buffer, width, height (and for screen
// captures format and scale).
#pragma once

#include "addon/convert.h"
#include "screen/screen.h"

namespace deskcap::js {

// Takes the PNG bytes over into the Buffer.
inline Build captured_image(napi_env env, CapturedPng& image) {
  return make_object(env, {
                              {"buffer", [&](napi_env e) { return make_buffer(e, std::move(image.png)); }},
                              {"width", image.width},
                              {"height", image.height},
                          });
}

inline const char* format_name(ImageFormat format) {
  switch (format) {
    case ImageFormat::Jpeg: return "jpeg";
    case ImageFormat::Raw: return "raw";
    case ImageFormat::Png: break;
  }
  return "png";
}

// A screen capture's object: the same three first, then format and scale.
inline Build screenshot_image(napi_env env, Screenshot& image) {
  return make_object(env, {
                              {"buffer", [&](napi_env e) { return make_buffer(e, std::move(image.bytes)); }},
                              {"width", image.width},
                              {"height", image.height},
                              {"format", [&](napi_env e) { return make_string(e, format_name(image.format)); }},
                              {"scale", image.scale},
                          });
}

}  // namespace deskcap::js
