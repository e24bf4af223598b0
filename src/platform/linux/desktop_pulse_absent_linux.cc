// Built without libpulse's development package: no sound server is reachable.
#include "platform/linux/pulse_server_linux.h"

namespace deskcap::linux_backend::pulse {

std::optional<std::vector<RecordingStream>> recording_streams() { return std::nullopt; }
void watch_streams(watch::Run&, const std::function<void(StreamEvent, uint32_t)>&) {}

}  // namespace deskcap::linux_backend::pulse
