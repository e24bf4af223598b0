// Linux has no screen-capture devices for phones: every device query answers
// nothing and no notification is ever posted. The CoreMediaIO switch that
// would allow such devices is refused as an unsupported operation, so the
// phone path logs why and answers at once instead of waiting for devices that
// cannot come: a listing resolves [] after "enable_failed", a prewarm reports
// allow_flag=0, a capture rejects "Could not enable device screen capture".
#include <sys/utsname.h>

#include "platform/linux/base_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {

struct DiscoverySession : linux_backend::LinuxObject {};
struct DeviceInput : linux_backend::LinuxObject {};
struct CaptureSession : linux_backend::LinuxObject {};
struct VideoOutput : linux_backend::LinuxObject {};
struct DispatchQueue : linux_backend::LinuxObject {};
struct FrameGrabber : linux_backend::LinuxObject {
  Ref<Semaphore> ready{semaphore_create(0)};
};

namespace {
constexpr int32_t kUnsupportedOperation = 0x756E6F70;  // kCMIOHardwareUnsupportedOperationError 'unop'
}  // namespace

int32_t cmio_set_property_u32(uint32_t, const PropertyAddress&, uint32_t) {
  return kUnsupportedOperation;
}

int32_t cmio_get_property_u32(uint32_t, const PropertyAddress&, uint32_t* value) {
  *value = 0;
  return 0;
}

DiscoverySession* discovery_session_create(std::optional<MediaType>) { return new DiscoverySession; }
std::vector<CaptureDevice*> discovery_session_devices(DiscoverySession*) { return {}; }
std::vector<CaptureDevice*> devices_with_media_type(MediaType) { return {}; }
std::vector<CaptureDevice*> all_devices() { return {}; }

// No CaptureDevice is ever handed out, so these are never asked.
std::string device_unique_id(CaptureDevice*) { return {}; }
std::string device_localized_name(CaptureDevice*) { return {}; }
std::string device_model_id(CaptureDevice*) { return {}; }
std::string device_type(CaptureDevice*) { return {}; }
bool device_has_media_type(CaptureDevice*, MediaType) { return false; }
void device_active_dimensions(CaptureDevice*, int32_t* width, int32_t* height) {
  *width = 0;
  *height = 0;
}

void observe_device_notifications(DeviceNotificationHandler, DeviceNotificationHandler) {}

// Nothing on Linux withholds a camera from a process.
int64_t video_authorization_status() { return 3; }
void request_video_access(void* context, AccessCallback completion) { completion(context, true); }

DeviceInput* device_input_create(CaptureDevice*, std::optional<std::string>* error_description) {
  *error_description = std::nullopt;
  return nullptr;
}
CaptureSession* capture_session_create() { return new CaptureSession; }
bool session_can_add_input(CaptureSession*, DeviceInput*) { return false; }
void session_add_input(CaptureSession*, DeviceInput*) {}
bool session_can_add_output(CaptureSession*, VideoOutput*) { return false; }
void session_add_output(CaptureSession*, VideoOutput*) {}
void session_start_running(CaptureSession*) {}
void session_stop_running(CaptureSession*) {}
VideoOutput* video_output_create() { return new VideoOutput; }
void video_output_set_always_discards_late_frames(VideoOutput*, bool) {}
DispatchQueue* serial_queue_create(const char*) { return new DispatchQueue; }
FrameGrabber* frame_grabber_create() { return new FrameGrabber; }
Semaphore* frame_grabber_ready(FrameGrabber* grabber) { return grabber->ready.get(); }
PixelBuffer* frame_grabber_frame(FrameGrabber*) { return nullptr; }
void video_output_set_sample_buffer_delegate(VideoOutput*, FrameGrabber*, DispatchQueue*) {}
Image* image_from_pixel_buffer(PixelBuffer*) { return nullptr; }
bool png_data_from_image(Image*, std::vector<uint8_t>*) { return false; }

std::string os_version_string() {
  struct utsname name;
  if (uname(&name) != 0) return "Linux";
  return std::string(name.sysname) + " " + name.release;
}

}  // namespace deskcap::platform
