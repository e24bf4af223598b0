// Desktop facilities on Linux: none of AppKit, the CoreGraphics window list or
// CoreAudio's process objects exists here, so every question answers "none".
// TCC is looked for where macOS keeps it (absent here); should a library be
// found, its functions are called in their C shape.
#include <new>

#include "platform/platform.h"

namespace deskcap::platform {
namespace {

constexpr const char* kService = "kTCCServiceAudioCapture";

}  // namespace

std::vector<RunningApplication> running_applications() { return {}; }

std::optional<std::vector<WindowInfo>> window_list_copy(uint32_t, uint32_t) {
  return std::nullopt;
}

std::vector<ScreenInfo> screens() { return {}; }

bool audio_object_has_property(uint32_t, const PropertyAddress&) { return false; }

int32_t audio_object_get_property_data_size(uint32_t, const PropertyAddress&, uint32_t*) {
  return 0x77686F3F;  // 'who?': unknown property
}

int32_t audio_object_get_property_data(uint32_t, const PropertyAddress&, uint32_t*, void*) {
  return 0x77686F3F;
}

int32_t audio_object_get_property_string(uint32_t, const PropertyAddress&,
                                         std::optional<std::string>*) {
  return 0x77686F3F;
}

const char* tcc_framework_path() {
  return "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC";
}

int64_t tcc_call_preflight(void* function) {
  using Preflight = long (*)(const void* service, const void* options);
  return reinterpret_cast<Preflight>(function)(kService, nullptr);
}

void tcc_call_request(void* function, void* context, AccessCallback completion) {
  using Completion = void (*)(void* context, unsigned char granted);
  using Request = void (*)(const void* service, const void* options, Completion completion,
                           void* context);
  struct Call {
    void* context;
    AccessCallback completion;
  };
  auto* call = new (std::nothrow) Call{context, completion};
  if (call == nullptr) {
    completion(context, false);  // the request must still settle
    return;
  }
  reinterpret_cast<Request>(function)(
      kService, nullptr,
      [](void* c, unsigned char granted) {
        auto* call = static_cast<Call*>(c);
        AccessCallback completion = call->completion;
        void* context = call->context;
        delete call;
        completion(context, granted != 0);
      },
      call);
}

std::optional<std::optional<std::string>> raw_native_answer(const char*) { return std::nullopt; }

}  // namespace deskcap::platform
