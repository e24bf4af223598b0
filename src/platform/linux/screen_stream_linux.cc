// ScreenCaptureKit's streams over X11. Each started stream has a thread of
// its own, its output queue: it ticks at the configured frame interval and
// delivers one sample a tick, the first Started and later ones Complete with
// the pixels the screenshot's grab takes, or Idle (no pixels, nothing grabbed)
// while the server reports no change (x11::SourceWatch); a display's stream
// redraws its frame only where the server reports changes
// (linux_backend::DisplayFrame). The same thread notices the source's end and
// calls the stop handler; start's and stop's completions run there too.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/bridge_text.h"
#include "platform/linux/base_linux.h"
#include "platform/linux/screen_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {
namespace {

namespace x11 = linux_backend::x11;
using Clock = std::chrono::steady_clock;
using bridge_text::stream_error;

// SCStreamErrorCode values.
constexpr int64_t kConnectionInterrupted = -3805;
constexpr int64_t kInternalError = -3811;
constexpr int64_t kNoCaptureSource = -3815;
constexpr double kDefaultInterval = 1.0 / 60;

struct Pending {
  void* context = nullptr;
  CompletionCallback completion = nullptr;
};

// What the thread shares with its Stream: it outlives the Stream when the
// last release comes from the thread itself.
struct Core {
  // Set at creation; later only the thread changes them (a display's bounds as it moves).
  linux_backend::FilterContent content;
  linux_backend::CaptureSettings settings;
  void* context = nullptr;
  SampleHandler sample = nullptr;
  StreamStopHandler stopped = nullptr;

  std::mutex lock;
  std::condition_variable wake;
  enum class State { Created, Running, Stopped } state = State::Created;
  bool detached = false;
  bool ticking = false;  // the thread may still deliver
  Pending stop;          // stream_stop's completion, for the thread to run as it ends

  bool delivering() const { return state == State::Running && !detached; }
};

// The system ended the stream: the handler runs once, unless a stop or a
// detach came first.
void system_stop(Core& core, int64_t code, const std::string& reason) {
  {
    std::lock_guard<std::mutex> hold(core.lock);
    if (!core.delivering()) return;
    core.state = Core::State::Stopped;
  }
  if (core.stopped != nullptr) core.stopped(core.context, code, stream_error(reason).c_str());
}

// SCStream's pixel buffers have their alpha; a depth-24 grab's fourth byte is padding.
void make_opaque(x11::Pixels& pixels) {
  uint8_t* bytes = pixels.writable();
  if (pixels.alpha || bytes == nullptr) return;
  for (uint32_t y = 0; y < pixels.height; ++y) {
    uint8_t* row = bytes + y * pixels.stride;
    for (uint32_t x = 0; x < pixels.width; ++x) row[x * 4 + 3] = 0xFF;
  }
  pixels.alpha = true;
}

}  // namespace

struct SampleBuffer : linux_backend::LinuxObject {
  int64_t status = frame_status::kIdle;
  std::unique_ptr<x11::Pixels> grabbed;  // a whole grab's, when the frame is one
  const x11::Pixels* pixels = nullptr;   // grabbed, or the stream's kept frame; none when Idle
};

struct Stream : linux_backend::LinuxObject {
  std::shared_ptr<Core> core = std::make_shared<Core>();
  std::thread thread;
  ~Stream() override {
    {
      std::lock_guard<std::mutex> hold(core->lock);
      core->detached = true;
    }
    core->wake.notify_all();
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id())
      thread.detach();  // it holds the core and touches nothing else
    else
      thread.join();
  }
};

namespace {

void tick_until_stopped(Core& core, x11::SourceWatch& watch) {
  const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
      core.settings.frame_interval > 0 ? core.settings.frame_interval : kDefaultInterval));
  bool first = true;
  // A display with nothing left out keeps its frame: a tick redraws what changed.
  std::unique_ptr<linux_backend::DisplayFrame> kept;
  if (core.content.display && core.content.left_out.empty()) kept = std::make_unique<linux_backend::DisplayFrame>();
  for (Clock::time_point next = Clock::now();;) {
    {
      std::unique_lock<std::mutex> hold(core.lock);
      core.wake.wait_until(hold, next, [&] { return !core.delivering(); });
      if (!core.delivering()) return;
    }
    // Paced from the ticks' starts; a late tick starts the count again rather
    // than catching up in a burst.
    const Clock::time_point start = Clock::now();
    next += interval;
    if (next <= start) next = start + interval;

    x11::SourceWatch::Seen seen = watch.take();
    if (seen.bounds && core.content.display) core.content.display->bounds = *seen.bounds;
    Ref<SampleBuffer> sample(new SampleBuffer);
    if (seen.end == x11::SourceWatch::End::None && seen.changed) {
      std::string error;
      bool failed = false;
      if (kept) {
        switch (kept->update(core.content, core.settings, seen, &error)) {
          case linux_backend::DisplayFrame::Update::Changed: sample.get()->pixels = &kept->pixels(); break;
          case linux_backend::DisplayFrame::Update::Unchanged: break;
          case linux_backend::DisplayFrame::Update::Failed: failed = true; break;
        }
      } else {
        x11::Grab grab = linux_backend::grab_content(core.content, core.settings);
        if (grab.pixels) {
          make_opaque(*grab.pixels);
          sample.get()->grabbed = std::move(grab.pixels);
          sample.get()->pixels = sample.get()->grabbed.get();
        } else {
          failed = true;
          error = std::move(grab.error);
        }
      }
      if (sample.get()->pixels != nullptr) {
        sample.get()->status = first ? frame_status::kStarted : frame_status::kComplete;
        first = false;
      } else if (failed) {
        // Whatever made the grab fail shows in the events by now.
        seen = watch.take();
        if (seen.end == x11::SourceWatch::End::None) {
          seen.end = x11::SourceWatch::End::SourceGone;
          seen.reason = error;
        }
      }
    }
    if (seen.end != x11::SourceWatch::End::None) {
      system_stop(core,
                  seen.end == x11::SourceWatch::End::ServerGone ? kConnectionInterrupted : kNoCaptureSource,
                  seen.reason);
      return;
    }
    {
      std::lock_guard<std::mutex> hold(core.lock);
      if (!core.delivering()) return;
    }
    if (core.sample != nullptr) core.sample(core.context, sample.get());
    // The sample (and with it a shared-memory segment, back to its cache)
    // goes before the next grab; it is borrowed for the call alone (the kept
    // frame changes at the next tick).
  }
}

void serve(std::shared_ptr<Core> core, Pending started) {
  try {
    std::string error;
    x11::StreamSource source{core->content.window, core->content.display, core->settings.shows_cursor};
    std::unique_ptr<x11::SourceWatch> watch = x11::watch_source(source, &error);
    if (!watch) {
      {
        std::lock_guard<std::mutex> hold(core->lock);
        core->state = Core::State::Stopped;
      }
      started.completion(started.context, nullptr, stream_error(error).c_str());
    } else {
      started.completion(started.context, nullptr, nullptr);
      tick_until_stopped(*core, *watch);
    }
  } catch (...) {
    // Nothing thrown may leave the thread: the stream ends as the system would end it.
    system_stop(*core, kInternalError, "the stream's thread failed");
  }
  Pending stop;
  {
    std::lock_guard<std::mutex> hold(core->lock);
    core->ticking = false;
    stop = core->stop;
  }
  if (stop.completion != nullptr) stop.completion(stop.context, nullptr, nullptr);
}

}  // namespace

void configuration_set_minimum_frame_interval(StreamConfiguration* c, int64_t value, int32_t timescale) {
  c->frame_interval = value > 0 && timescale > 0 ? double(value) / timescale : 0;
}
void configuration_set_queue_depth(StreamConfiguration* c, int32_t depth) { c->queue_depth = depth; }
// X's 32-bit pixels are B G R A in memory already.
void configuration_set_bgra_output(StreamConfiguration*) {}

Stream* stream_create(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                      SampleHandler sample, StreamStopHandler stopped, std::string* error_text) {
  if (filter == nullptr || configuration == nullptr || (!filter->window && !filter->display)) {
    if (error_text != nullptr) *error_text = stream_error("the filter names no content");
    return nullptr;
  }
  auto* stream = new Stream;
  Core& core = *stream->core;
  core.content = *filter;
  core.settings = *configuration;
  core.context = context;
  core.sample = sample;
  core.stopped = stopped;
  return stream;
}

void stream_start(Stream* stream, void* context, CompletionCallback completion) {
  Core& core = *stream->core;
  bool again = false, thread = false;
  {
    std::lock_guard<std::mutex> hold(core.lock);
    again = core.state != Core::State::Created;
    if (!again) {
      core.state = Core::State::Running;
      // Detached already: nothing would be delivered, so no thread.
      thread = core.ticking = !core.detached;
    }
  }
  if (again) return completion(context, nullptr, stream_error("The stream has already been started").c_str());
  if (!thread) return completion(context, nullptr, nullptr);
  try {
    stream->thread = std::thread(serve, stream->core, Pending{context, completion});
  } catch (...) {
    {
      std::lock_guard<std::mutex> hold(core.lock);
      core.state = Core::State::Stopped;
      core.ticking = false;
    }
    completion(context, nullptr, stream_error("the stream's thread could not be started").c_str());
  }
}

void stream_stop(Stream* stream, void* context, CompletionCallback completion) {
  Core& core = *stream->core;
  bool running = false;
  {
    std::lock_guard<std::mutex> hold(core.lock);
    running = core.state == Core::State::Running;
    if (running) {
      core.state = Core::State::Stopped;
      if (core.ticking) {
        // The thread completes once it has delivered its last sample.
        core.stop = Pending{context, completion};
        core.wake.notify_all();
        return;
      }
    }
  }
  if (!running) return completion(context, nullptr, stream_error("The stream is not running").c_str());
  completion(context, nullptr, nullptr);
}

void stream_detach(Stream* stream) {
  {
    std::lock_guard<std::mutex> hold(stream->core->lock);
    stream->core->detached = true;
  }
  stream->core->wake.notify_all();
  if (stream->thread.joinable() && stream->thread.get_id() != std::this_thread::get_id()) stream->thread.join();
}

std::optional<int64_t> sample_frame_status(SampleBuffer* sample) { return sample->status; }

// The surface is the grab itself, one pixel per point; an Idle sample has none.
std::optional<Rect> sample_content_rect(SampleBuffer* sample) {
  if (!sample->pixels) return std::nullopt;
  return Rect{0, 0, double(sample->pixels->width), double(sample->pixels->height)};
}
std::optional<double> sample_scale_factor(SampleBuffer* sample) {
  if (!sample->pixels) return std::nullopt;
  return 1.0;
}

bool sample_lock_pixels(SampleBuffer* sample, SamplePixels* pixels) {
  if (!sample->pixels || pixels == nullptr) return false;
  pixels->base = sample->pixels->data();
  pixels->width = sample->pixels->width;
  pixels->height = sample->pixels->height;
  pixels->bytes_per_row = sample->pixels->stride;
  return true;
}
// The pixels stay with the sample until it goes.
void sample_unlock_pixels(SampleBuffer*) {}

}  // namespace deskcap::platform
