// The result objects that both an export and the watcher's events carry.
#pragma once

#include "addon/convert.h"
#include "desktop/desktop_steps.h"
#include "phone/phone_steps.h"
#include "screen/screen.h"

namespace deskcap::js {

Build display_info(napi_env env, const DisplayEntry& d, ListSlot slot = {});
Build ios_device(napi_env env, const IosDevice& d, ListSlot slot = {});
Build microphone_app(napi_env env, const MicrophoneApp& app, ListSlot slot = {});

}  // namespace deskcap::js
