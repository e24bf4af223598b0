// startCapture's native half: one framework stream per capture stream. The
// framework hands each sample over on the stream's output queue; its pixels
// are copied out there (the framework's pool has a few surfaces, and one held
// while a frame encodes would stall the stream), then encoded on the stream's
// own thread and queued for the consumer.
#include "screen/capture_stream.h"

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>

#include "core/thread_start.h"
#include "platform/platform.h"
#include "screen/capture_source.h"

namespace deskcap {
namespace {

using platform::Ref;
using Clock = std::chrono::steady_clock;

// The framework may never answer a start or a stop.
constexpr int64_t kStartLimitNs = 10'000'000'000;
constexpr int64_t kStopLimitNs = 5'000'000'000;
// Surfaces in the framework's pool: none is held past its sample's handler,
// so a few are enough.
constexpr int32_t kQueueDepth = 4;

Error failure(std::string message) { return Error(Status::GenericFailure, std::move(message)); }

struct Census {
  std::atomic<size_t> running{0};
  std::atomic<size_t> in_flight{0};
};
Census& census() {
  static Census& c = *new Census;  // read by stream threads until the process ends
  return c;
}

// One completion of a stream start or stop, waited for with a time limit.
// Shared, because the completion may come after the waiter gave up.
class Answer {
 public:
  Answer() : semaphore_(platform::semaphore_create(0)) {}

  static void complete(void* context, platform::Object* object, const char* error_text) {
    std::unique_ptr<std::shared_ptr<Answer>> share(static_cast<std::shared_ptr<Answer>*>(context));
    platform::release(object);
    Answer& a = **share;
    {
      std::lock_guard<std::mutex> lock(a.mutex_);
      if (error_text != nullptr) a.error_ = framework_text(error_text);
    }
    platform::semaphore_signal(a.semaphore_.get());
  }

  // The completion's context: one share of this answer.
  static void* share(const std::shared_ptr<Answer>& answer) { return new std::shared_ptr<Answer>(answer); }

  // False when no answer came in time; else *error is the framework's text, if any.
  bool wait(int64_t limit_ns, std::optional<std::string>* error) {
    if (platform::semaphore_wait(semaphore_.get(), limit_ns) != 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    *error = error_;
    return true;
  }

 private:
  Ref<platform::Semaphore> semaphore_;
  std::mutex mutex_;
  std::optional<std::string> error_;
};

// Copied pixels of one frame, B G R A rows without padding.
struct Slot {
  enum class State { Free, Filling, Pending, Encoding, Last };
  State state = State::Free;
  std::vector<uint8_t> bgra;
  size_t width = 0, height = 0;
  double points_wide = 0;
  double timestamp = 0;
  uint64_t sequence = 0;
};

double now_ms() {
  using namespace std::chrono;
  return duration<double, std::milli>(system_clock::now().time_since_epoch()).count();
}

class Stream;

// Every running stream, for the stop at process exit: exit() runs no
// environment's cleanup, and a stream's threads must not outlive the
// statics they read.
struct Running {
  std::mutex mutex;
  std::vector<std::weak_ptr<Stream>> streams;
};
Running& running_streams() {
  static Running& r = *new Running;
  return r;
}
void stop_running_streams();

class Stream final : public CaptureStream, public std::enable_shared_from_this<Stream> {
 public:
  Stream(StreamRequest request, std::shared_ptr<StreamListener> listener)
      : request_(std::move(request)), listener_(std::move(listener)) {}
  ~Stream() override { stop(); }

  Result<Unit> start() override;
  void stop() override;
  std::optional<StreamFrame> take() override;
  StreamStats stats() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
  }

 private:
  enum class Phase { Idle, Starting, Running, Stopping, Stopped };

  static void on_sample(void* context, platform::SampleBuffer* sample) {
    static_cast<Stream*>(context)->sample(sample);
  }
  static void on_stopped(void* context, int64_t code, const char* error_text) {
    static_cast<Stream*>(context)->end(framework_failure("Capture stream stopped: " + framework_text(error_text)));
  }

  Result<Unit> begin();
  void stop_framework_stream();
  void sample(platform::SampleBuffer* sample);
  void copy_in(const platform::SamplePixels& pixels);
  void encode_loop();
  void end(Error error);
  void teardown();
  Slot* slot_for_sample_locked();
  Slot* next_to_encode_locked(Clock::time_point now);
  void produced_locked(Slot& slot, double timestamp);
  void drop_locked(size_t frames);
  void drop_oldest_locked() { queue_.pop_front(); drop_locked(1); }

  const StreamRequest request_;
  const std::shared_ptr<StreamListener> listener_;
  double points_wide_ = 0;
  Clock::duration interval_{};

  mutable std::mutex mutex_;
  std::condition_variable wake_;  // the encoder: a frame, a repeat or the stop
  std::condition_variable phase_changed_;
  Phase phase_ = Phase::Idle;
  bool stop_requested_ = false;
  bool ended_ = false;        // the listener was told
  bool encoder_alive_ = false;
  bool idle_seen_ = false;    // an unchanged-screen sample since the last frame
  Clock::time_point last_produced_{};
  Slot slots_[2];
  std::deque<StreamFrame> queue_;
  StreamStats stats_;
  Ref<platform::Stream> stream_;
};

Result<Unit> Stream::start() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (phase_ != Phase::Idle) return failure("Capture stream was stopped before it started");
    phase_ = Phase::Starting;
  }
  auto begun = begin();
  bool stop_waiting = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    phase_ = begun.ok() ? Phase::Running : Phase::Stopping;
    stop_waiting = stop_requested_;
  }
  phase_changed_.notify_all();
  if (begun.ok()) {
    census().running++;
    {
      Running& r = running_streams();
      std::lock_guard<std::mutex> lock(r.mutex);
      static const bool hooked = std::atexit(stop_running_streams) == 0;
      (void)hooked;
      std::erase_if(r.streams, [](const std::weak_ptr<Stream>& w) { return w.expired(); });
      r.streams.push_back(weak_from_this());
    }
    if (stop_waiting) stop();
    return begun;
  }
  teardown();
  return begun;
}

Result<Unit> Stream::begin() {
  auto found = request_.display_id ? display_source(CaptureRequest{*request_.display_id, request_.exclude_window_ids,
                                                                  request_.crop, request_.output})
                                   : window_source(request_.window_id.value_or(0), request_.output);
  if (!found.ok()) return found.take_error();
  CaptureSource source = found.take();
  points_wide_ = source.points_wide;
  interval_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / request_.fps));

  platform::StreamConfiguration* configuration = source.configuration.get();
  platform::configuration_set_minimum_frame_interval(configuration, 1, static_cast<int32_t>(request_.fps));
  platform::configuration_set_queue_depth(configuration, kQueueDepth);
  platform::configuration_set_bgra_output(configuration);
  std::string why;
  stream_ = Ref<platform::Stream>(platform::stream_create(source.filter.get(), configuration, this, &on_sample,
                                                          &on_stopped, &why));
  if (!stream_) return failure("Failed to create capture stream: " + (why.empty() ? "Unknown error" : why));

  {
    std::lock_guard<std::mutex> lock(mutex_);
    encoder_alive_ = true;
  }
  if (start_detached_thread("deskcap-stream", 512 * 1024, [this] { encode_loop(); }) != 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    encoder_alive_ = false;
    return failure("Failed to start the capture stream's thread");
  }

  auto answer = std::make_shared<Answer>();
  platform::stream_start(stream_.get(), Answer::share(answer), &Answer::complete);
  std::optional<std::string> error;
  if (!answer->wait(kStartLimitNs, &error)) {
    // It may still start: it must not run on unseen.
    stop_framework_stream();
    return failure("Capture stream did not start within 10 s");
  }
  if (error) return framework_failure("Failed to start capture stream: " + *error);
  return Unit{};
}

void Stream::stop_framework_stream() {
  auto answer = std::make_shared<Answer>();
  platform::stream_stop(stream_.get(), Answer::share(answer), &Answer::complete);
  std::optional<std::string> ignored;  // a stream the system already stopped refuses the stop
  answer->wait(kStopLimitNs, &ignored);
}

void Stream::stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  stop_requested_ = true;
  wake_.notify_all();
  // A start in progress finishes first; a stop in progress is waited for.
  phase_changed_.wait(lock, [this] { return phase_ != Phase::Starting && phase_ != Phase::Stopping; });
  if (phase_ == Phase::Stopped) return;
  if (phase_ == Phase::Idle) {
    phase_ = Phase::Stopped;
    return;
  }
  phase_ = Phase::Stopping;
  lock.unlock();
  stop_framework_stream();
  census().running--;
  teardown();
}

// From Stopping to Stopped: the handlers detached, the encoder gone, every frame freed.
void Stream::teardown() {
  if (stream_) platform::stream_detach(stream_.get());
  std::unique_lock<std::mutex> lock(mutex_);
  stop_requested_ = true;
  wake_.notify_all();
  phase_changed_.wait(lock, [this] { return !encoder_alive_; });
  size_t held = queue_.size();
  queue_.clear();
  for (Slot& s : slots_) {
    if (s.state == Slot::State::Pending) ++held;
    s = Slot{};
  }
  drop_locked(held);
  Ref<platform::Stream> stream = std::move(stream_);
  phase_ = Phase::Stopped;
  lock.unlock();
  stream = Ref<platform::Stream>();
  phase_changed_.notify_all();
}

void Stream::drop_locked(size_t frames) {
  stats_.dropped += frames;
  census().in_flight -= frames;
}

void Stream::produced_locked(Slot& slot, double timestamp) {
  slot.sequence = ++stats_.produced;
  slot.timestamp = timestamp;
  last_produced_ = Clock::now();
  idle_seen_ = false;
  census().in_flight++;
}

// A free slot, else the last frame kept for repeats, else the oldest frame
// still waiting (dropped for the newer one); never one being filled or encoded.
Slot* Stream::slot_for_sample_locked() {
  Slot* pick = nullptr;
  for (Slot::State wanted : {Slot::State::Free, Slot::State::Last, Slot::State::Pending}) {
    for (Slot& s : slots_)
      if (s.state == wanted && (pick == nullptr || s.sequence < pick->sequence)) pick = &s;
    if (pick != nullptr) break;
  }
  if (pick != nullptr && pick->state == Slot::State::Pending) drop_locked(1);
  return pick;
}

void Stream::sample(platform::SampleBuffer* sample) {
  auto status = platform::sample_frame_status(sample);
  if (status == platform::frame_status::kIdle) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_seen_ = true;
    if (!request_.only_changed) wake_.notify_all();
    return;
  }
  if (status != platform::frame_status::kComplete && status != platform::frame_status::kStarted) return;
  platform::SamplePixels pixels;
  if (!platform::sample_lock_pixels(sample, &pixels)) return;
  // A window's surface may be larger than the window: only its content counts.
  if (request_.window_id) {
    auto rect = platform::sample_content_rect(sample);
    double scale = platform::sample_scale_factor(sample).value_or(1.0);
    if (rect && rect->width > 0 && rect->height > 0) {
      size_t left = static_cast<size_t>(std::clamp(rect->x * scale, 0.0, double(pixels.width)));
      size_t top = static_cast<size_t>(std::clamp(rect->y * scale, 0.0, double(pixels.height)));
      size_t width = static_cast<size_t>(std::clamp(rect->width * scale + 0.5, 0.0, double(pixels.width - left)));
      size_t height = static_cast<size_t>(std::clamp(rect->height * scale + 0.5, 0.0, double(pixels.height - top)));
      pixels.base += top * pixels.bytes_per_row + left * 4;
      pixels.width = width;
      pixels.height = height;
    }
  }
  copy_in(pixels);
  platform::sample_unlock_pixels(sample);
}

void Stream::copy_in(const platform::SamplePixels& pixels) {
  if (pixels.width == 0 || pixels.height == 0 || pixels.base == nullptr) return;
  Slot* slot = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_requested_ || ended_) return;
    slot = slot_for_sample_locked();
    if (slot == nullptr) return;
    slot->state = Slot::State::Filling;
  }
  const size_t row = pixels.width * 4;
  bool copied = true;
  try {
    slot->bgra.resize(row * pixels.height);
    // Rows are padded: one copy per row.
    for (size_t y = 0; y < pixels.height; ++y)
      std::memcpy(slot->bgra.data() + y * row, pixels.base + y * pixels.bytes_per_row, row);
  } catch (const std::bad_alloc&) {
    copied = false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!copied) {
      slot->state = Slot::State::Free;
      slot->bgra = {};
      return;
    }
    slot->width = pixels.width;
    slot->height = pixels.height;
    slot->points_wide = points_wide_;
    slot->state = Slot::State::Pending;
    produced_locked(*slot, now_ms());
    // Newer pixels exist: the kept frame is no longer the one to repeat.
    for (Slot& s : slots_)
      if (s.state == Slot::State::Last) s.state = Slot::State::Free;
  }
  wake_.notify_all();
}

// The oldest waiting frame; else, while frames are wanted at the rate, the
// last one again once the screen is known unchanged (or has gone quiet for
// half an interval more, for a system that reports nothing while still).
Slot* Stream::next_to_encode_locked(Clock::time_point now) {
  Slot* oldest = nullptr;
  for (Slot& s : slots_)
    if (s.state == Slot::State::Pending && (oldest == nullptr || s.sequence < oldest->sequence)) oldest = &s;
  if (oldest != nullptr || request_.only_changed) return oldest;
  for (Slot& s : slots_) {
    if (s.state != Slot::State::Last) continue;
    if (idle_seen_ || now >= last_produced_ + interval_ + interval_ / 2) {
      produced_locked(s, now_ms());
      return &s;
    }
  }
  return nullptr;
}

void Stream::encode_loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_requested_ && !ended_) {
    Slot* slot = next_to_encode_locked(Clock::now());
    if (slot == nullptr) {
      bool kept = std::any_of(std::begin(slots_), std::end(slots_),
                              [](const Slot& s) { return s.state == Slot::State::Last; });
      if (kept && !request_.only_changed) wake_.wait_until(lock, last_produced_ + interval_ + interval_ / 2);
      else wake_.wait(lock);
      continue;
    }
    slot->state = Slot::State::Encoding;
    lock.unlock();

    StreamFrame frame;
    frame.sequence = slot->sequence;
    frame.timestamp = slot->timestamp;
    Result<Unit> made = Unit{};
    {
      platform::AutoreleasePool pool;
      Ref<platform::Image> image(platform::image_create_bgra(slot->bgra.data(), slot->width, slot->height,
                                                             slot->width * 4));
      if (!image) made = failure("Failed to create an image of the frame");
      else made = encode_image(image.get(), request_.output, slot->points_wide, &frame.image);
    }

    lock.lock();
    bool newer = std::any_of(std::begin(slots_), std::end(slots_),
                             [](const Slot& s) { return s.state == Slot::State::Pending; });
    slot->state = newer ? Slot::State::Free : Slot::State::Last;
    if (!made.ok()) {
      drop_locked(1);
      if (stop_requested_ || ended_) break;
      ended_ = true;
      lock.unlock();
      listener_->ended(made.take_error().prefixed("Capture stream frame failed: "));
      lock.lock();
      break;
    }
    if (stop_requested_) {
      drop_locked(1);
      break;
    }
    if (queue_.size() >= request_.max_queued) drop_oldest_locked();
    queue_.push_back(std::move(frame));
    lock.unlock();
    listener_->frame_queued();
    lock.lock();
  }
  encoder_alive_ = false;
  // Notified under the lock: the stream may be freed as soon as a waiter sees this.
  phase_changed_.notify_all();
}

void Stream::end(Error error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_ || stop_requested_) return;
    ended_ = true;
  }
  wake_.notify_all();
  listener_->ended(std::move(error));
}

std::optional<StreamFrame> Stream::take() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return std::nullopt;
  StreamFrame frame = std::move(queue_.front());
  queue_.pop_front();
  ++stats_.delivered;
  census().in_flight--;
  return frame;
}

void stop_running_streams() {
  std::vector<std::shared_ptr<Stream>> live;
  {
    Running& r = running_streams();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto& w : r.streams)
      if (auto s = w.lock()) live.push_back(std::move(s));
    r.streams.clear();
  }
  for (auto& s : live) s->stop();
}

}  // namespace

std::shared_ptr<CaptureStream> CaptureStream::create(StreamRequest request, std::shared_ptr<StreamListener> listener) {
  return std::make_shared<Stream>(std::move(request), std::move(listener));
}

StreamCensus stream_census() { return {census().running.load(), census().in_flight.load()}; }

}  // namespace deskcap
