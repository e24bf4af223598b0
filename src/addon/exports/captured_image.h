// The CapturedImage object: buffer, width, height.
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

}  // namespace deskcap::js
