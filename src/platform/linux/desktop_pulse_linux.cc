// Recording streams from the sound server, over a private, single-threaded
// libpulse main loop that lives for one question. Never starts a server.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/linux/pulse_server_linux.h"
#include "platform/linux/pulse_calls_linux.h"  // last: it renames libpulse's functions

namespace deskcap::linux_backend::pulse {
namespace {

constexpr auto kPatience = std::chrono::seconds(2);

struct MainloopFree {
  void operator()(pa_mainloop* m) const { pa_mainloop_free(m); }
};
struct ContextFree {
  void operator()(pa_context* c) const {
    pa_context_disconnect(c);
    pa_context_unref(c);
  }
};
struct OperationFree {
  void operator()(pa_operation* o) const {
    pa_operation_cancel(o);
    pa_operation_unref(o);
  }
};

struct Listing {
  std::vector<RecordingStream> streams;
  bool done = false;
  bool failed = false;
};

std::optional<std::string> property(pa_proplist* list, const char* key) {
  const char* value = list != nullptr ? pa_proplist_gets(list, key) : nullptr;
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

void on_source_output(pa_context*, const pa_source_output_info* info, int eol, void* data) {
  auto* listing = static_cast<Listing*>(data);
  if (eol != 0) {
    listing->failed = eol < 0;
    listing->done = true;
    return;
  }
  RecordingStream stream;
  stream.index = info->index;
  stream.running = info->corked == 0;
  if (auto pid = property(info->proplist, PA_PROP_APPLICATION_PROCESS_ID)) {
    char* end = nullptr;
    long long n = std::strtoll(pid->c_str(), &end, 10);
    if (end != pid->c_str() && *end == '\0' && n > 0) stream.pid = n;
  }
  stream.app_id = property(info->proplist, PA_PROP_APPLICATION_ID);
  if (!stream.app_id) stream.app_id = property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY);
  listing->streams.push_back(std::move(stream));
}

// Runs the loop until `finished` or the time is up; false on time-out or loop failure.
template <class Finished>
bool run_until(pa_mainloop* loop, std::chrono::steady_clock::time_point deadline, Finished finished) {
  while (!finished()) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0) return false;
    if (pa_mainloop_poll(loop) < 0) return false;
    if (pa_mainloop_dispatch(loop) < 0) return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<RecordingStream>> recording_streams() {
  // Without libpulse there is no sound server to ask.
  if (!pulse_library().loaded) return std::nullopt;
  auto deadline = std::chrono::steady_clock::now() + kPatience;
  std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
  if (!loop) return std::nullopt;
  std::unique_ptr<pa_context, ContextFree> context(
      pa_context_new(pa_mainloop_get_api(loop.get()), "deskcap"));
  if (!context) return std::nullopt;
  if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return std::nullopt;

  pa_context_state_t state = PA_CONTEXT_UNCONNECTED;
  bool settled = run_until(loop.get(), deadline, [&] {
    state = pa_context_get_state(context.get());
    return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
  });
  if (!settled || state != PA_CONTEXT_READY) return std::nullopt;

  Listing listing;
  std::unique_ptr<pa_operation, OperationFree> operation(
      pa_context_get_source_output_info_list(context.get(), on_source_output, &listing));
  if (!operation) return std::nullopt;
  if (!run_until(loop.get(), deadline, [&] { return listing.done; }) || listing.failed) return std::nullopt;
  return std::move(listing.streams);
}

}  // namespace deskcap::linux_backend::pulse
