// The streams recording from a source, asked of the sound server (PulseAudio,
// or PipeWire through its PulseAudio protocol) with libpulse; built without it
// (desktop_pulse_absent_linux.cc) no server is ever reachable. Thread: any;
// blocks for at most a couple of seconds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/watch_linux.h"

namespace deskcap::linux_backend::pulse {

struct RecordingStream {
  uint32_t index = 0;                // the server's source-output index
  bool running = false;              // not corked
  std::optional<int64_t> pid;        // application.process.id
  std::optional<std::string> app_id; // application.id, else application.process.binary
};

// Nullopt when no sound server answers.
std::optional<std::vector<RecordingStream>> recording_streams();

// What the server said of its recording streams.
enum class StreamEvent {
  Subscribed,  // watching from now on: anything may have changed before
  Added,
  Removed,
  Changed,     // a stream's state or properties
};
// Serves a stream watch until `run` stops, on a main loop and a connection of
// its own subscribed to source-output events: `event` runs for each (index
// is the stream's, 0 with Subscribed), on this thread. Without a server it
// tries again about once a second, never starting one. Returns at once where
// the build has no sound-server support or libpulse is missing.
void watch_streams(watch::Run& run, const std::function<void(StreamEvent, uint32_t index)>& event);

}  // namespace deskcap::linux_backend::pulse
