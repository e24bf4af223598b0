// The JavaScript handle of a capture stream (stream_exports.cc), made once the
// options are read (screen_exports.cc).
#pragma once

#include <node_api.h>

#include "addon/convert.h"
#include "screen/capture_stream.h"

namespace deskcap::js {

// A handle over a stream of `request` that has not started; `notify` is the
// function told of its frames and of its end.
Build make_stream_handle(napi_env env, StreamRequest request, napi_value notify);

}  // namespace deskcap::js
