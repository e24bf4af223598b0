// The streams recording from a source, asked of the sound server (PulseAudio,
// or PipeWire through its PulseAudio protocol) with libpulse; built without it
// (desktop_pulse_absent_linux.cc) no server is ever reachable. Thread: any;
// blocks for at most a couple of seconds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deskcap::linux_backend::pulse {

struct RecordingStream {
  uint32_t index = 0;                // the server's source-output index
  bool running = false;              // not corked
  std::optional<int64_t> pid;        // application.process.id
  std::optional<std::string> app_id; // application.id, else application.process.binary
};

// Nullopt when no sound server answers.
std::optional<std::vector<RecordingStream>> recording_streams();

}  // namespace deskcap::linux_backend::pulse
