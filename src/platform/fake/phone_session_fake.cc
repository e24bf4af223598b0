// Capture sessions of the fake world: device inputs, the video output with its
// frame grabber and serial queue, and frames delivered after the session starts.
#include <mutex>

#include "platform/fake/phone_fake.h"

namespace deskcap::platform {
namespace {

const fake::json& member(const fake::json& object, const char* key) {
  static const fake::json& none = *new fake::json();
  if (!object.is_object()) return none;
  auto it = object.find(key);
  return it == object.end() ? none : *it;
}

bool flag(const fake::json& object, const char* key) {
  const fake::json& value = member(object, key);
  return value.is_boolean() && value.get<bool>();
}

int32_t int_or(const fake::json& object, const char* key, int32_t fallback) {
  const fake::json& value = member(object, key);
  return value.is_number() ? static_cast<int32_t>(value.get<double>()) : fallback;
}

}  // namespace

struct DeviceInput : fake::FakeObject {
  DeviceInput() : FakeObject("DeviceInput") {}
  Ref<CaptureDevice> device;
};

// A serial queue: deliveries on it never overlap.
struct DispatchQueue : fake::FakeObject {
  DispatchQueue() : FakeObject("DispatchQueue") {}
  std::string label;
  std::mutex serial;
};

struct FrameGrabber : fake::FakeObject {
  FrameGrabber() : FakeObject("FrameGrabber") {}
  Ref<Semaphore> ready{semaphore_create(0)};
  std::mutex lock;
  PixelBuffer* frame = nullptr;  // retained once set

  ~FrameGrabber() override { release(frame); }

  // captureOutput:didOutputSampleBuffer:fromConnection: keeps the first frame.
  void deliver(PixelBuffer* buffer) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (frame != nullptr) return;
      retain(buffer);
      frame = buffer;
    }
    semaphore_signal(ready.get());
  }
};

struct VideoOutput : fake::FakeObject {
  VideoOutput() : FakeObject("VideoOutput") {}
  bool discards_late_frames = false;
  Ref<FrameGrabber> grabber;
  Ref<DispatchQueue> queue;
};

struct CaptureSession : fake::FakeObject {
  CaptureSession() : FakeObject("CaptureSession") {}
  std::mutex lock;
  Ref<DeviceInput> input;
  Ref<VideoOutput> output;
  std::shared_ptr<std::atomic<bool>> running = std::make_shared<std::atomic<bool>>(false);

  ~CaptureSession() override {
    if (running->exchange(false)) fake::count_phone(fake::PhoneCounter::SessionsRunning, -1);
  }
};

namespace {

template <class T>
Ref<T> retained(T* object) {
  retain(object);
  return Ref<T>(object);
}

const fake::json& capture_of(CaptureSession* session) {
  static const fake::json& none = *new fake::json();
  std::lock_guard<std::mutex> guard(session->lock);
  if (!session->input) return none;
  return session->input.get()->device.get()->capture;
}

}  // namespace

DeviceInput* device_input_create(CaptureDevice* device, std::optional<std::string>* error_description) {
  const fake::json& capture = device->capture;
  const fake::json& error = member(capture, "inputError");
  if (error.is_string()) {
    *error_description = error.get<std::string>();
    return nullptr;
  }
  if (flag(capture, "inputFails")) {
    *error_description = std::nullopt;
    return nullptr;
  }
  auto* input = new DeviceInput;
  input->device = retained(device);
  return input;
}

CaptureSession* capture_session_create() {
  fake::count_phone(fake::PhoneCounter::SessionsCreated);
  return new CaptureSession;
}

bool session_can_add_input(CaptureSession* session, DeviceInput* input) {
  return !flag(input->device.get()->capture, "refuseInput");
}

void session_add_input(CaptureSession* session, DeviceInput* input) {
  std::lock_guard<std::mutex> guard(session->lock);
  session->input = retained(input);
}

bool session_can_add_output(CaptureSession* session, VideoOutput* output) {
  return !flag(capture_of(session), "refuseOutput");
}

void session_add_output(CaptureSession* session, VideoOutput* output) {
  std::lock_guard<std::mutex> guard(session->lock);
  session->output = retained(output);
}

// Frames go to the grabber on the output's queue while the session runs:
// "frame" absent is one frame of the device's size, null is none at all.
void session_start_running(CaptureSession* session) {
  if (!session->running->exchange(true)) fake::count_phone(fake::PhoneCounter::SessionsRunning);
  Ref<CaptureDevice> device;
  Ref<FrameGrabber> grabber;
  Ref<DispatchQueue> queue;
  {
    std::lock_guard<std::mutex> guard(session->lock);
    if (!session->input || !session->output) return;
    device = retained(session->input.get()->device.get());
    VideoOutput* output = session->output.get();
    if (!output->grabber || !output->queue) return;
    grabber = retained(output->grabber.get());
    queue = retained(output->queue.get());
  }
  const fake::json& capture = device.get()->capture;
  const fake::json& frame_script = member(capture, "frame");
  if (capture.is_object() && capture.contains("frame") && !frame_script.is_object()) return;

  Ref<PixelBuffer> frame(new PixelBuffer);
  PixelBuffer* f = frame.get();
  f->width = int_or(frame_script, "width", device.get()->width);
  f->height = int_or(frame_script, "height", device.get()->height);
  const fake::json& color = member(frame_script, "color");
  if (color.is_array())
    for (size_t i = 0; i < 4 && i < color.size(); ++i)
      if (color[i].is_number()) f->rgba[i] = static_cast<uint8_t>(color[i].get<double>());
  f->render_fails = flag(capture, "renderFails");
  f->encode_fails = flag(capture, "encodeFails");
  int32_t count = int_or(frame_script, "count", 1);

  auto running = session->running;
  // The closure owns its references: it may run after the capture returned.
  auto shared = std::make_shared<std::tuple<Ref<FrameGrabber>, Ref<DispatchQueue>, Ref<PixelBuffer>>>(
      std::move(grabber), std::move(queue), std::move(frame));
  fake::deliver(frame_script, [shared, running, count] {
    auto& [grabber, queue, frame] = *shared;
    for (int32_t i = 0; i < count && running->load(); ++i) {
      std::lock_guard<std::mutex> serial(queue.get()->serial);
      grabber.get()->deliver(frame.get());
    }
  });
}

void session_stop_running(CaptureSession* session) {
  if (session->running->exchange(false)) fake::count_phone(fake::PhoneCounter::SessionsRunning, -1);
}

VideoOutput* video_output_create() { return new VideoOutput; }

void video_output_set_always_discards_late_frames(VideoOutput* output, bool discard) {
  output->discards_late_frames = discard;
}

DispatchQueue* serial_queue_create(const char* label) {
  auto* queue = new DispatchQueue;
  queue->label = label != nullptr ? label : "";
  return queue;
}

FrameGrabber* frame_grabber_create() { return new FrameGrabber; }

Semaphore* frame_grabber_ready(FrameGrabber* grabber) { return grabber->ready.get(); }

PixelBuffer* frame_grabber_frame(FrameGrabber* grabber) {
  std::lock_guard<std::mutex> guard(grabber->lock);
  return grabber->frame;
}

void video_output_set_sample_buffer_delegate(VideoOutput* output, FrameGrabber* grabber, DispatchQueue* queue) {
  output->grabber = retained(grabber);
  output->queue = retained(queue);
}

}  // namespace deskcap::platform
