// Recording streams from the sound server, over a private, single-threaded
// libpulse main loop that lives for one question, and the stream watch over
// one that lives while its thread serves. Never starts a server.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/linux/pulse_server_linux.h"
#include "platform/linux/pulse_calls_linux.h"  // last: it renames libpulse's functions

namespace deskcap::linux_backend::pulse {
namespace {

constexpr auto kPatience = std::chrono::seconds(2);
constexpr int kRetryMs = 1000;

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

// ---- the stream watch ------------------------------------------------------------

struct Watching {
  pa_mainloop* loop;
  const std::function<void(StreamEvent, uint32_t)>& event;
};

// Called from libpulse's callbacks: nothing thrown may cross them.
void tell(Watching* w, StreamEvent event, uint32_t index) noexcept {
  try {
    w->event(event, index);
  } catch (...) {
  }
}

void on_stop(pa_mainloop_api*, pa_io_event*, int, pa_io_event_flags_t, void* data) {
  pa_mainloop_quit(static_cast<Watching*>(data)->loop, 0);
}

void on_subscribed(pa_context*, int success, void* data) {
  auto* w = static_cast<Watching*>(data);
  if (success)
    tell(w, StreamEvent::Subscribed, 0);
  else
    pa_mainloop_quit(w->loop, 1);
}

void on_state(pa_context* context, void* data) {
  auto* w = static_cast<Watching*>(data);
  pa_context_state_t state = pa_context_get_state(context);
  if (state == PA_CONTEXT_READY) {
    pa_operation* subscribe =
        pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT, on_subscribed, w);
    if (subscribe == nullptr)
      pa_mainloop_quit(w->loop, 1);
    else
      pa_operation_unref(subscribe);
  } else if (!PA_CONTEXT_IS_GOOD(state)) {
    pa_mainloop_quit(w->loop, 1);
  }
}

void on_event(pa_context*, pa_subscription_event_type_t type, uint32_t index, void* data) {
  if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE_OUTPUT) return;
  auto* w = static_cast<Watching*>(data);
  switch (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) {
    case PA_SUBSCRIPTION_EVENT_NEW: return tell(w, StreamEvent::Added, index);
    case PA_SUBSCRIPTION_EVENT_REMOVE: return tell(w, StreamEvent::Removed, index);
    default: return tell(w, StreamEvent::Changed, index);
  }
}

// Until the run stops or the connection ends.
void serve(watch::Run& run, const std::function<void(StreamEvent, uint32_t)>& event) {
  std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
  if (!loop) return;
  pa_mainloop_api* api = pa_mainloop_get_api(loop.get());
  Watching watching{loop.get(), event};
  // The loop frees its I/O events with itself.
  if (api->io_new(api, run.fd(), PA_IO_EVENT_INPUT, on_stop, &watching) == nullptr) return;
  std::unique_ptr<pa_context, ContextFree> context(pa_context_new(api, "deskcap watch"));
  if (!context) return;
  pa_context_set_state_callback(context.get(), on_state, &watching);
  pa_context_set_subscribe_callback(context.get(), on_event, &watching);
  if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return;
  int result = 0;
  pa_mainloop_run(loop.get(), &result);
}

}  // namespace

void watch_streams(watch::Run& run, const std::function<void(StreamEvent, uint32_t)>& event) {
  if (!pulse_library().loaded) return;
  for (;;) {
    serve(run, event);
    if (run.wait(-1, kRetryMs) == watch::Run::Woken::Stopped) return;
  }
}

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
