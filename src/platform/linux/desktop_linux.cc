// Desktop facilities on Linux: none of AppKit, the CoreGraphics window list or
// CoreAudio's process objects exists here, so every question answers "none".
// TCC is looked for where macOS keeps it (absent here); should a library be
// found, its functions are called in their C shape (platform/c_tcc).
#include "platform/platform.h"

namespace deskcap::platform {

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

}  // namespace deskcap::platform
