// CoreAudio's process objects, as listMicrophoneApps and the microphone watch
// read them.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/platform.h"

namespace deskcap {

// A property of the global scope and main element.
platform::PropertyAddress audio_address(uint32_t selector);

// The system object's process-object list; nullopt when it has none or a read
// fails. Thread: any.
std::optional<std::vector<uint32_t>> audio_process_objects();

}  // namespace deskcap
