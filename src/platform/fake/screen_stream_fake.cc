// ScreenCaptureKit streams over the world: each started stream has a thread
// that paints the current world at the configured interval (scaled by
// timeScale), a frame counter in its first pixel so that consecutive frames
// differ, unless "screen.stream.still" keeps the screen unchanged and the
// samples after the first Idle. The system stops a stream whose display or
// window left the world, whose permission was revoked, or as the world's
// "stopAfterFrames" scripts it. Surfaces have padded rows, and a window's is
// larger than the window, as the framework's are.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "core/thread_start.h"
#include "platform/bridge_text.h"
#include "platform/fake/screen_fake.h"

namespace deskcap::platform {

struct SampleBuffer {
  int64_t status = frame_status::kIdle;
  std::vector<uint8_t> surface;  // empty for an Idle sample
  size_t width = 0, height = 0, bytes_per_row = 0;
  std::optional<Rect> content_rect;
  double scale = 1;
};

std::atomic<long>& running_streams() {
  static std::atomic<long>& n = *new std::atomic<long>(0);
  return n;
}

namespace {

constexpr size_t kRowPadding = 64;
constexpr size_t kWindowMargin = 8;  // pixels of a window's surface past the window

// The thread's share of a stream: what it paints, whom it calls, and the
// flags that end it. Shared, so that the thread never outlives what it reads.
struct Runner {
  Ref<ContentFilter> filter;
  Ref<StreamConfiguration> configuration;
  void* context = nullptr;
  SampleHandler sample = nullptr;
  StreamStopHandler stopped = nullptr;

  std::mutex mutex;
  std::condition_variable changed;
  bool running = false;   // ticking
  bool detached = false;  // no handler runs again
  bool calling = false;   // a handler runs now
  bool thread_alive = false;

  void run();
  // Runs `call` unless detached; false once the stream should stop ticking.
  template <class Call>
  bool call_handler(Call call);
  void stop_ticking_and_wait();
};

template <class T>
T* retained(T* p) {
  retain(p);
  return p;
}

// The filter as the current world shows it: nullopt when its display or
// window is gone.
std::optional<Ref<ContentFilter>> current_filter(const ContentFilter& f,
                                                 const std::shared_ptr<const fake::screen::Model>& m) {
  auto made = Ref<ContentFilter>(new ContentFilter());
  made.get()->kind = f.kind;
  made.get()->windows.clear();
  if (f.kind == ContentFilter::Kind::DesktopIndependentWindow) {
    const fake::screen::WindowSpec* w = m->window(f.window.get()->entry.id);
    if (w == nullptr || !w->on_screen) return std::nullopt;
    auto* window = new ScWindow();
    window->entry = *w;
    window->model = m;
    made.get()->window = Ref<ScWindow>(window);
  } else {
    const fake::screen::DisplaySpec* d = m->display(f.display.get()->entry.id);
    if (d == nullptr || !d->active) return std::nullopt;
    auto* display = new ScDisplay();
    display->entry = *d;
    display->model = m;
    made.get()->display = Ref<ScDisplay>(display);
    for (const auto& w : f.windows) made.get()->windows.emplace_back(retained(w.get()));
  }
  return made;
}

// The painted image on a surface of the framework's kind.
void fill_surface(SampleBuffer& s, const Image& image, bool window, uint64_t counter, bool stamp) {
  const size_t margin = window ? kWindowMargin : 0;
  s.width = image.width + margin;
  s.height = image.height + margin;
  s.bytes_per_row = s.width * 4 + kRowPadding;
  s.surface.assign(s.bytes_per_row * s.height, 0xA5);  // what the pool held before
  for (size_t y = 0; y < image.height; ++y)
    std::memcpy(s.surface.data() + y * s.bytes_per_row, image.bgra.data() + y * image.width * 4, image.width * 4);
  if (stamp && image.width > 0 && image.height > 0) {
    uint8_t* first = s.surface.data();
    first[0] = uint8_t(counter);
    first[1] = uint8_t(counter >> 8);
    first[2] = uint8_t(counter >> 16);
    first[3] = 255;
  }
}

template <class Call>
bool Runner::call_handler(Call call) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (detached || !running) return false;
    calling = true;
  }
  call();
  {
    std::lock_guard<std::mutex> lock(mutex);
    calling = false;
  }
  changed.notify_all();
  return true;
}

void Runner::run() {
  const StreamConfiguration& c = *configuration.get();
  const double interval = c.minimum_frame_interval > 0 ? c.minimum_frame_interval : 1.0 / 60;
  auto next = std::chrono::steady_clock::now();
  uint64_t frames = 0;
  uint64_t painted_generation = 0;
  for (;;) {
    next += std::chrono::nanoseconds(fake::scaled_ns(interval));
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait_until(lock, next, [this] { return !running || detached; });
      if (!running || detached) break;
    }
    auto m = fake::screen::model();
    std::optional<std::pair<int64_t, std::string>> stop;
    auto shown = current_filter(*filter.get(), m);
    if (!shown) {
      stop = std::make_pair(int64_t{-3815}, std::string(filter.get()->window ? "The window is no longer available"
                                                                               : "The display is no longer available"));
    } else if (m->screen_recording == false) {
      stop = std::make_pair(int64_t{-3801},
                            std::string("The user declined TCCs for application, window, display capture"));
    } else if (m->stream.stop_after_frames && frames >= *m->stream.stop_after_frames) {
      stop = std::make_pair(m->stream.stop_code, m->stream.stop_error);
    }
    if (stop) {
      std::string text = bridge_text::stream_error(stop->second);
      call_handler([&] { stopped(context, stop->first, text.c_str()); });
      break;
    }
    SampleBuffer s;
    const uint64_t generation = fake::generation();
    if (frames == 0 || !m->stream.still || generation != painted_generation) {
      Ref<Image> image(render_image(*shown->get(), c, std::nullopt));
      if (image) {
        const bool window = filter.get()->kind == ContentFilter::Kind::DesktopIndependentWindow;
        fill_surface(s, *image.get(), window, frames + 1, !m->stream.still);
        s.status = frames == 0 ? frame_status::kStarted : frame_status::kComplete;
        if (window) {
          const Rect& frame = shown->get()->window.get()->entry.frame;
          s.scale = frame.width > 0 ? double(image.get()->width) / frame.width : 1.0;
          s.content_rect = Rect{0, 0, frame.width, frame.height};
        }
        painted_generation = generation;
      }
    }
    ++frames;
    if (!call_handler([&] { sample(context, &s); })) break;
  }
  std::lock_guard<std::mutex> lock(mutex);
  if (running) running_streams()--;
  running = false;
  thread_alive = false;
  changed.notify_all();
}

// Also from the thread's own handler: then only the flag is set.
void Runner::stop_ticking_and_wait() {
  std::unique_lock<std::mutex> lock(mutex);
  if (running) running_streams()--;
  running = false;
  changed.notify_all();
}

}  // namespace

struct Stream : fake::FakeObject {
  Stream() : FakeObject("Stream") {}
  ~Stream() override { detach(); }
  std::shared_ptr<Runner> runner = std::make_shared<Runner>();
  bool started = false;

  // No handler runs once this returns, and the thread is gone.
  void detach() {
    std::unique_lock<std::mutex> lock(runner->mutex);
    runner->detached = true;
    runner->changed.notify_all();
    runner->changed.wait(lock, [this] { return !runner->calling && !runner->thread_alive; });
  }
};

void configuration_set_minimum_frame_interval(StreamConfiguration* c, int64_t value, int32_t timescale) {
  c->minimum_frame_interval = timescale > 0 ? double(value) / timescale : 0;
}
void configuration_set_queue_depth(StreamConfiguration* c, int32_t depth) { c->queue_depth = depth; }
void configuration_set_bgra_output(StreamConfiguration* c) { c->bgra_output = true; }

Stream* stream_create(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                      SampleHandler sample, StreamStopHandler stopped, std::string* error_text) {
  auto m = fake::screen::model();
  if (filter == nullptr || configuration == nullptr) {
    if (error_text) *error_text = bridge_text::stream_error("The filter or configuration is nil");
    return nullptr;
  }
  if (m->stream.output_error) {
    if (error_text) *error_text = bridge_text::stream_error(*m->stream.output_error);
    return nullptr;
  }
  auto* stream = new Stream();
  Runner& r = *stream->runner;
  r.filter = Ref<ContentFilter>(retained(filter));
  // The framework copies the configuration: later changes to it do not count.
  auto* copy = new StreamConfiguration();
  copy->width = configuration->width;
  copy->height = configuration->height;
  copy->shows_cursor = configuration->shows_cursor;
  copy->source_rect = configuration->source_rect;
  copy->minimum_frame_interval = configuration->minimum_frame_interval;
  copy->queue_depth = configuration->queue_depth;
  copy->bgra_output = configuration->bgra_output;
  r.configuration = Ref<StreamConfiguration>(copy);
  r.context = context;
  r.sample = sample;
  r.stopped = stopped;
  return stream;
}

void stream_start(Stream* stream, void* context, CompletionCallback completion) {
  auto m = fake::screen::model();
  const fake::screen::Behaviour b = m->stream.start;
  std::shared_ptr<Runner> runner = stream->runner;
  const bool again = stream->started;
  stream->started = true;
  fake::deliver(b.delivery, [=] {
    if (again) {
      std::string text = bridge_text::stream_error("The stream is already running");
      return completion(context, nullptr, text.c_str());
    }
    if (b.outcome == fake::screen::Behaviour::Outcome::Error) {
      std::string text = bridge_text::stream_error(b.description);
      return completion(context, nullptr, text.c_str());
    }
    bool begin = false;
    {
      std::lock_guard<std::mutex> lock(runner->mutex);
      if (!runner->detached) {
        runner->running = true;
        runner->thread_alive = true;
        running_streams()++;
        begin = true;
      }
    }
    if (begin && start_detached_thread("fake-stream", 512 * 1024, [runner] { runner->run(); }) != 0) {
      runner->stop_ticking_and_wait();
      std::lock_guard<std::mutex> lock(runner->mutex);
      runner->thread_alive = false;
      runner->changed.notify_all();
    }
    completion(context, nullptr, nullptr);
  });
}

void stream_stop(Stream* stream, void* context, CompletionCallback completion) {
  auto m = fake::screen::model();
  const fake::screen::Behaviour b = m->stream.stop;
  std::shared_ptr<Runner> runner = stream->runner;
  fake::deliver(b.delivery, [=] {
    bool was_running = false;
    {
      std::lock_guard<std::mutex> lock(runner->mutex);
      was_running = runner->running;
    }
    runner->stop_ticking_and_wait();
    if (!was_running || b.outcome == fake::screen::Behaviour::Outcome::Error) {
      std::string text = bridge_text::stream_error(was_running ? b.description : "The stream is not running");
      return completion(context, nullptr, text.c_str());
    }
    completion(context, nullptr, nullptr);
  });
}

void stream_detach(Stream* stream) { stream->detach(); }

std::optional<int64_t> sample_frame_status(SampleBuffer* sample) { return sample->status; }
std::optional<Rect> sample_content_rect(SampleBuffer* sample) { return sample->content_rect; }
std::optional<double> sample_scale_factor(SampleBuffer* sample) {
  if (!sample->content_rect) return std::nullopt;
  return sample->scale;
}
bool sample_lock_pixels(SampleBuffer* sample, SamplePixels* pixels) {
  if (sample->surface.empty()) return false;
  *pixels = SamplePixels{sample->surface.data(), sample->width, sample->height, sample->bytes_per_row};
  return true;
}
void sample_unlock_pixels(SampleBuffer*) {}

// The fake's images own their pixels: the rows are copied.
Image* image_create_bgra(const uint8_t* pixels, size_t width, size_t height, size_t bytes_per_row) {
  if (pixels == nullptr || width == 0 || height == 0 || bytes_per_row < width * 4) return nullptr;
  auto* image = new Image();
  image->width = width;
  image->height = height;
  image->bgra.resize(width * height * 4);
  for (size_t y = 0; y < height; ++y)
    std::memcpy(image->bgra.data() + y * width * 4, pixels + y * bytes_per_row, width * 4);
  return image;
}

}  // namespace deskcap::platform

namespace deskcap::fake::screen {

long streams_running() { return platform::running_streams().load(); }

}  // namespace deskcap::fake::screen
