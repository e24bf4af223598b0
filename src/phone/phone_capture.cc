// captureIosDevice, native side: one still frame of a USB phone's screen, taken
// by a short capture session that keeps the first frame, encoded as PNG.
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "boundary/c_guard.h"
#include "core/utf8.h"
#include "boundary/json_text.h"
#include "boundary/native.h"
#include "phone/phone_internal.h"

namespace deskcap::phone {
namespace {

using platform::CaptureDevice;
using platform::Ref;

constexpr int64_t kAccessWaitNs = 60'000'000'000;
constexpr int64_t kFrameWaitNs = 5'000'000'000;
constexpr const char* kQueueLabel = "com.deskcap.phone-capture.frames";

constexpr const char* kEnableText = "Could not enable device screen capture";
constexpr const char* kMissingText = "Device is no longer connected";
constexpr const char* kOpenText = "Could not open device";
constexpr const char* kInputRejectedText = "Device input was rejected by the capture session";
constexpr const char* kOutputRejectedText = "Video output was rejected by the capture session";
constexpr const char* kNoFramesText =
    "No frames arrived. The device may be locked, or capture trust may have been revoked.";
constexpr const char* kEncodeText = "Could not encode the captured frame";
constexpr const char* kOutOfMemoryText = "Ran out of memory encoding the captured frame";


// Shared with the access callback, which may come after this call returned
// (or never); whoever lets go last frees it.
struct AccessAnswer {
  Ref<platform::Semaphore> answered{platform::semaphore_create(0)};
  std::atomic<bool> granted{false};
};

void on_access_answer(void* context, bool granted) {
  std::unique_ptr<std::shared_ptr<AccessAnswer>> answer(static_cast<std::shared_ptr<AccessAnswer>*>(context));
  (*answer)->granted.store(granted);
  platform::semaphore_signal((*answer)->answered.get());
}

// Asks for camera access and waits up to a minute for the answer.
bool request_camera_access() {
  ios_log("camera_access_requesting");
  auto answer = std::make_shared<AccessAnswer>();
  platform::request_video_access(new std::shared_ptr<AccessAnswer>(answer), on_access_answer);
  if (platform::semaphore_wait(answer->answered.get(), kAccessWaitNs) != 0) {
    ios_log("camera_access_timed_out");
    return false;
  }
  bool granted = answer->granted.load();
  ios_log("camera_access_result granted=%s", granted ? "yes" : "no");
  return granted;
}

CaptureDevice* find_device(const DeviceList& devices, const std::string& id) {
  for (const DeviceRef& device : devices)
    if (platform::device_unique_id(device.get()) == id) return device.get();
  return nullptr;
}

struct Outputs {
  uint8_t** png;
  size_t* len;
  uint32_t* width;
  uint32_t* height;
  char** error;

  int32_t fail(IosCaptureStatus status, const char* text) const {
    if (error != nullptr) *error = native::heap_copy(text);
    return status;
  }
};

int32_t capture(const char* unique_id, const Outputs& out) {
  std::string id = unique_id != nullptr ? unique_id : "";
  ios_log("capture_begin unique_id=%s camera_authorization=%s", unique_id != nullptr ? unique_id : "(null)",
          camera_authorization_name(platform::video_authorization_status()));
  if (!enable_screen_capture_devices()) return out.fail(IOS_CAPTURE_ENABLE_FAILED, kEnableText);

  // An id that is not UTF-8 becomes no string at all and matches nothing.
  bool usable_id = unique_id != nullptr && is_valid_utf8(id);
  std::string short_id = unique_id != nullptr ? short_device_id(id) : "(null)";
  DeviceList devices = warm_up_device_scan(true);
  CaptureDevice* device = usable_id ? find_device(devices, id) : nullptr;
  if (device == nullptr) {
    ios_log("capture_device_missing id=%s", short_id.c_str());
    log_capture_devices();
    return out.fail(IOS_CAPTURE_DEVICE_MISSING, kMissingText);
  }

  int64_t authorization = platform::video_authorization_status();
  if (authorization == 0) {
    if (!request_camera_access()) return out.fail(IOS_CAPTURE_CAMERA_REFUSED, kCameraAccessText);
  } else if (authorization != 3) {
    ios_log("camera_access_blocked status=%s",
            camera_authorization_name(platform::video_authorization_status()));
    return out.fail(IOS_CAPTURE_CAMERA_REFUSED, kCameraAccessText);
  }

  std::optional<std::string> input_error;
  Ref<platform::DeviceInput> input(platform::device_input_create(device, &input_error));
  if (!input) {
    ios_log("capture_input_failed error=%s", input_error ? input_error->c_str() : "unknown");
    return out.fail(IOS_CAPTURE_OPEN_FAILED, input_error ? input_error->c_str() : kOpenText);
  }

  Ref<platform::CaptureSession> session(platform::capture_session_create());
  if (!session || !platform::session_can_add_input(session.get(), input.get()))
    return out.fail(IOS_CAPTURE_INPUT_REJECTED, kInputRejectedText);
  platform::session_add_input(session.get(), input.get());

  Ref<platform::VideoOutput> output(platform::video_output_create());
  Ref<platform::FrameGrabber> grabber(platform::frame_grabber_create());
  Ref<platform::DispatchQueue> queue(platform::serial_queue_create(kQueueLabel));
  if (!output || !grabber || !queue) return out.fail(IOS_CAPTURE_OUTPUT_REJECTED, kOutputRejectedText);
  platform::video_output_set_always_discards_late_frames(output.get(), true);
  platform::video_output_set_sample_buffer_delegate(output.get(), grabber.get(), queue.get());
  if (!platform::session_can_add_output(session.get(), output.get()))
    return out.fail(IOS_CAPTURE_OUTPUT_REJECTED, kOutputRejectedText);
  platform::session_add_output(session.get(), output.get());

  int32_t format_width = 0, format_height = 0;
  platform::device_active_dimensions(device, &format_width, &format_height);
  ios_log("capture_session_starting name=%s %dx%d", platform::device_localized_name(device).c_str(),
          format_width, format_height);

  platform::session_start_running(session.get());
  bool arrived = platform::semaphore_wait(platform::frame_grabber_ready(grabber.get()), kFrameWaitNs) == 0;
  platform::session_stop_running(session.get());
  platform::PixelBuffer* frame = arrived ? platform::frame_grabber_frame(grabber.get()) : nullptr;
  if (frame == nullptr) {
    ios_log("capture_no_frames id=%s", short_id.c_str());
    return out.fail(IOS_CAPTURE_NO_FRAMES, kNoFramesText);
  }

  uint32_t ignored_width = 0, ignored_height = 0;
  uint32_t* width = out.width != nullptr ? out.width : &ignored_width;
  uint32_t* height = out.height != nullptr ? out.height : &ignored_height;
  std::optional<std::vector<uint8_t>> png = encode_frame_png(frame, width, height);
  if (!png) return out.fail(IOS_CAPTURE_ENCODE_FAILED, kEncodeText);

  auto* block = static_cast<uint8_t*>(platform::boundary_malloc(png->size()));
  if (block == nullptr) return out.fail(IOS_CAPTURE_OUT_OF_MEMORY, kOutOfMemoryText);
  if (!png->empty()) std::memcpy(block, png->data(), png->size());
  if (out.png != nullptr) {
    *out.png = block;
  } else {
    native_free(block);
  }
  if (out.len != nullptr) *out.len = png->size();
  ios_log("capture_ok id=%s %ux%u bytes=%zu", short_id.c_str(), *width, *height, png->size());
  return IOS_CAPTURE_OK;
}

}  // namespace

std::string short_device_id(const std::string& id) {
  if (!is_valid_utf8(id)) return "(null)";
  // substringToIndex: counts UTF-16 units; a character outside the BMP takes two.
  size_t units = 0;
  size_t cut = 0;
  while (cut < id.size()) {
    auto c = static_cast<unsigned char>(id[cut]);
    size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    size_t width = length == 4 ? 2 : 1;
    if (units + width > 8) break;
    units += width;
    cut += length;
  }
  if (cut == id.size()) return id;
  return id.substr(0, cut);
}

std::optional<std::vector<uint8_t>> encode_frame_png(platform::PixelBuffer* frame, uint32_t* width,
                                                     uint32_t* height) {
  Ref<platform::Image> image(platform::image_from_pixel_buffer(frame));
  if (!image) return std::nullopt;
  *width = static_cast<uint32_t>(platform::image_width(image.get()));
  *height = static_cast<uint32_t>(platform::image_height(image.get()));
  std::vector<uint8_t> png;
  if (!platform::png_data_from_image(image.get(), &png)) return std::nullopt;
  return png;
}

}  // namespace deskcap::phone

// An escaping exception can only be memory exhaustion: the out-of-memory status.
extern "C" int32_t ios_capture_device(const char* unique_id, uint8_t** out_png, size_t* out_len,
                                      uint32_t* out_width, uint32_t* out_height, char** out_error) {
  if (out_png != nullptr) *out_png = nullptr;
  if (out_len != nullptr) *out_len = 0;
  if (out_error != nullptr) *out_error = nullptr;
  return deskcap::guarded<int32_t>(8, [&] {
    deskcap::platform::AutoreleasePool pool;
    return deskcap::phone::capture(unique_id, {out_png, out_len, out_width, out_height, out_error});
  });
}
