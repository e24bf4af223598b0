// What deskcap asks of the operating system: every call into a framework
// (CoreGraphics, ScreenCaptureKit, AVFoundation, CoreMediaIO, CoreImage/ImageIO,
// IOKit, AppKit, CoreAudio, libdispatch, the TCC symbols) goes through this one
// header. The shapes are the frameworks' own: status codes where they return
// them, nullable +1 references, completion callbacks that may run on another
// thread, before the call returns, late or never, and waits with time limits.
// Which call comes when, what is logged and which message is built is the
// system's own and lives above this line, written once. The one exception is
// the error text of the ScreenCaptureKit requests, which the backend hands
// over as the framework's bridge words it ("Content unavailable: ...",
// "Screenshot error: ...", "Stream error: ...", from platform/bridge_text.h).
//
// Backends: macos/ (the product on a Mac), linux/ (the product on Linux: the X
// server, the sound server and sysfs where Linux has the facility, a system
// without it elsewhere), fake/ (a scriptable in-memory world for tests, never
// linked into the product). Sections as the backends' files: base, screen, phone, desktop.
//
// Reference rules: every function that returns a pointer to one of the opaque
// object types returns it retained (+1) or null; the holder gives it back
// exactly once with release(). Ref<T> below does that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deskcap::platform {

// ==== Base ====================================================================
// ---- Opaque framework objects (each backend defines them) -----------------
struct Object;               // any retained framework object
struct ShareableContent;     // SCShareableContent
struct ScDisplay;            // SCDisplay
struct ScWindow;             // SCWindow
struct ContentFilter;        // SCContentFilter
struct StreamConfiguration;  // SCStreamConfiguration
struct Image;                // CGImageRef
struct DisplayMode;          // CGDisplayModeRef
struct CaptureDevice;        // AVCaptureDevice
struct DiscoverySession;     // AVCaptureDeviceDiscoverySession
struct DeviceInput;          // AVCaptureDeviceInput
struct CaptureSession;       // AVCaptureSession
struct VideoOutput;          // AVCaptureVideoDataOutput
struct Stream;               // SCStream, with the output and delegate it calls
struct SampleBuffer;         // CMSampleBufferRef
struct FrameGrabber;         // KRFrameGrabber: keeps the first frame, signals ready
struct DispatchQueue;        // dispatch_queue_t (serial)
struct PixelBuffer;          // CVPixelBufferRef
struct Semaphore;            // dispatch_semaphore_t
struct UsbService;           // io_service_t

// Retain/release of any object above. Thread: any. release(nullptr) is a no-op.
void retain(const void* object);
void release(const void* object);

// Owns one +1 reference; moves, never copies.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : p_(adopted) {}
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      release(p_);
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { release(p_); }
  T* get() const { return p_; }
  T* take() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

struct Rect {
  double x = 0, y = 0, width = 0, height = 0;
};

// A property of a CoreMediaIO or CoreAudio object.
struct PropertyAddress {
  uint32_t selector;
  uint32_t scope;
  uint32_t element;
};

// The answer of an access request (camera, TCC); each request says when it comes.
using AccessCallback = void (*)(void* context, bool granted);

// ---- Time --------------------------------------------------------------------
// NSThread sleepForTimeInterval:. The fake scales the interval by its time factor.
void sleep_for_interval(double seconds);

// dispatch_semaphore_*: count starts at `value`. wait() answers 0 when signalled
// and non-zero on timeout; timeout_ns < 0 means DISPATCH_TIME_FOREVER. The fake
// scales the timeout. Thread: any.
Semaphore* semaphore_create(long value);
long semaphore_signal(Semaphore* semaphore);
long semaphore_wait(Semaphore* semaphore, int64_t timeout_ns);

// ---- Allocation, process info, autorelease pools ---------------------------------
// The allocator of the blocks handed across the C boundary (malloc). The fake
// can make chosen allocations fail.
void* boundary_malloc(size_t size);

// NSProcessInfo operatingSystemVersionString.
std::string os_version_string();

// Scoped @autoreleasepool for native functions running on worker threads.
class AutoreleasePool {
 public:
  AutoreleasePool();
  ~AutoreleasePool();
  AutoreleasePool(const AutoreleasePool&) = delete;
  AutoreleasePool& operator=(const AutoreleasePool&) = delete;

 private:
  void* token_;
};

// ==== Screen ==================================================================
// ---- CoreGraphics: displays --------------------------------------------------
// CGGetActiveDisplayList: ids may be null (then max must be 0); answers a CGError
// (0 success) and stores the number of displays in *count.
int32_t get_active_display_list(uint32_t max, uint32_t* ids, uint32_t* count);
uint32_t main_display_id();                              // CGMainDisplayID
Rect display_bounds(uint32_t display_id);                // CGDisplayBounds, points
DisplayMode* display_copy_mode(uint32_t display_id);     // CGDisplayCopyDisplayMode, nullable
size_t display_mode_pixel_width(DisplayMode* mode);      // CGDisplayModeGetPixelWidth
size_t display_mode_width(DisplayMode* mode);            // CGDisplayModeGetWidth (points)
// The display's own name where the system gives one (an X output's, such as
// "HDMI-1"); nullopt where it gives none, as CoreGraphics. Thread: any.
std::optional<std::string> display_name(uint32_t display_id);

// ---- CoreGraphics: display reconfiguration -------------------------------------
// CGDisplayChangeSummaryFlags, as the reconfiguration callback receives them.
namespace display_change {
constexpr uint32_t kBeginConfiguration = 1u << 0;
constexpr uint32_t kMoved = 1u << 1;
constexpr uint32_t kSetMain = 1u << 2;
constexpr uint32_t kSetMode = 1u << 3;
constexpr uint32_t kAdd = 1u << 4;
constexpr uint32_t kRemove = 1u << 5;
constexpr uint32_t kEnabled = 1u << 8;
constexpr uint32_t kDisabled = 1u << 9;
constexpr uint32_t kDesktopShapeChanged = 1u << 12;
}  // namespace display_change
using DisplayReconfigurationCallback = void (*)(uint32_t display, uint32_t flags, void* context);
// CGDisplayRegisterReconfigurationCallback: for each reconfiguration the
// callback runs once per affected display with kBeginConfiguration before it
// is applied, then once per display with what changed once it is. Thread: one
// of the backend's, never during this call. Answers a CGError (0 success).
int32_t display_register_reconfiguration(DisplayReconfigurationCallback callback, void* context);
// CGDisplayRemoveReconfigurationCallback with the same pair. A callback already
// running on another thread may still finish after this returns; none starts later.
int32_t display_remove_reconfiguration(DisplayReconfigurationCallback callback, void* context);

// ---- CoreGraphics: Screen Recording permission -----------------------------------
// CGPreflightScreenCaptureAccess; nullopt when the backend cannot tell. Thread: any.
std::optional<bool> screen_capture_preflight();
// CGRequestScreenCaptureAccess: may show the system prompt and answers at once; a
// grant takes effect after the host restarts. Thread: any.
bool screen_capture_request();
// Why no display of this session can be captured whatever the permission, or
// None. macOS: always None; Linux: WaylandSession in a Wayland session (the X
// server XWayland offers holds only X clients' windows). Thread: any.
enum class DisplayCaptureLimit { None, WaylandSession };
DisplayCaptureLimit display_capture_limit();

// ---- ScreenCaptureKit ----------------------------------------------------------
// Completion of a request: exactly one of object (+1, handed to the callee) or
// error_text (NUL-terminated, maybe not UTF-8, owned by the caller of the
// callback) is set, or neither. Runs on a framework thread, possibly before the
// request returns, possibly late, possibly never; the callee must not assume
// which.
using CompletionCallback = void (*)(void* context, Object* object, const char* error_text);

// +[SCShareableContent getShareableContentExcludingDesktopWindows:onScreenWindowsOnly:
// completionHandler:]. On failure error_text is "Content unavailable: " + the
// framework error's localizedDescription. Delivers a ShareableContent.
void get_shareable_content(bool exclude_desktop_windows, bool on_screen_windows_only,
                           void* context, CompletionCallback completion);
// +[SCScreenshotManager captureImageWithFilter:configuration:completionHandler:].
// On failure error_text is "Screenshot error: " + localizedDescription.
// Delivers an Image.
void capture_image(ContentFilter* filter, StreamConfiguration* configuration,
                   void* context, CompletionCallback completion);

// The content's displays and windows arrays, copied at once in their order;
// each item +1. Thread: any.
std::vector<Ref<ScDisplay>> content_displays_copy(ShareableContent* content);
std::vector<Ref<ScWindow>> content_windows_copy(ShareableContent* content);

uint32_t sc_display_id(ScDisplay* display);  // displayID
uint32_t sc_window_id(ScWindow* window);     // windowID
Rect sc_window_frame(ScWindow* window);      // frame, points

// SCContentFilter initialisers; answers +1 or null.
ContentFilter* filter_with_desktop_independent_window(ScWindow* window);
ContentFilter* filter_with_display_excluding_windows(ScDisplay* display,
                                                     const std::vector<ScWindow*>& windows);
// pointPixelScale; 1.0 before macOS 14 without asking the framework.
float filter_point_pixel_scale(ContentFilter* filter);

// [[SCStreamConfiguration alloc] init] and its setters.
StreamConfiguration* configuration_create();
void configuration_set_width(StreamConfiguration* configuration, size_t width);
void configuration_set_height(StreamConfiguration* configuration, size_t height);
void configuration_set_shows_cursor(StreamConfiguration* configuration, bool shows_cursor);
// sourceRect, in points relative to the display's top-left corner.
void configuration_set_source_rect(StreamConfiguration* configuration, Rect rect);

// ---- ScreenCaptureKit: streams --------------------------------------------------
// The configuration's stream settings: minimumFrameInterval (CMTimeMake(value,
// timescale): the most frames a second the stream delivers; fewer come while
// nothing changes), queueDepth (3..8 surfaces in the stream's pool), and
// pixelFormat 32BGRA with colorSpaceName sRGB.
void configuration_set_minimum_frame_interval(StreamConfiguration* configuration, int64_t value,
                                              int32_t timescale);
void configuration_set_queue_depth(StreamConfiguration* configuration, int32_t depth);
void configuration_set_bgra_output(StreamConfiguration* configuration);

// A screen sample: runs on the stream's own serial output queue, one at a time
// and in order, the sample borrowed for the call.
using SampleHandler = void (*)(void* context, SampleBuffer* sample);
// The delegate's stream:didStopWithError:, on a framework thread: the system
// ended the stream (the display or window went away, the permission was
// revoked, the capture daemon stopped it). `code` is the NSError's code and
// error_text "Stream error: " + its localizedDescription.
using StreamStopHandler = void (*)(void* context, int64_t code, const char* error_text);

// [[SCStream alloc] initWithFilter:configuration:delegate:] and
// addStreamOutput:type:Screen sampleHandlerQueue: on a serial queue of its own.
// The stream keeps its output and delegate alive (SCStream references both
// weakly). +1, or null with *error_text "Stream error: " + the description of
// why the output could not be added. Nothing runs before stream_start.
Stream* stream_create(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                      SampleHandler sample, StreamStopHandler stopped, std::string* error_text);
// startCaptureWithCompletionHandler: and stopCaptureWithCompletionHandler:.
// The completion gets no object; error_text ("Stream error: " + description)
// when the request failed. It runs on a framework thread, possibly before the
// call returns, possibly never.
void stream_start(Stream* stream, void* context, CompletionCallback completion);
void stream_stop(Stream* stream, void* context, CompletionCallback completion);
// removeStreamOutput:, then waits until a sample handler already running on
// the output queue has returned: from then on neither handler is called.
// Thread: any but the output queue.
void stream_detach(Stream* stream);

// SCStreamFrameInfoStatus of the sample (SCFrameStatus: 0 Complete, 1 Idle,
// 2 Blank, 3 Suspended, 4 Started, 5 Stopped); nullopt without the attachment.
// The sample accessors run in the sample handler only.
namespace frame_status {
constexpr int64_t kComplete = 0;
constexpr int64_t kIdle = 1;
constexpr int64_t kStarted = 4;
}  // namespace frame_status
std::optional<int64_t> sample_frame_status(SampleBuffer* sample);
// SCStreamFrameInfoContentRect (points, within the surface) and ScaleFactor;
// nullopt without them.
std::optional<Rect> sample_content_rect(SampleBuffer* sample);
std::optional<double> sample_scale_factor(SampleBuffer* sample);
// CMSampleBufferGetImageBuffer locked read-only (CVPixelBufferLockBaseAddress):
// B G R A premultiplied rows, bytes_per_row >= width * 4 (rows are padded).
// False without an image buffer or when it cannot be locked; after true, the
// memory is valid until sample_unlock_pixels.
struct SamplePixels {
  const uint8_t* base = nullptr;
  size_t width = 0, height = 0, bytes_per_row = 0;
};
bool sample_lock_pixels(SampleBuffer* sample, SamplePixels* pixels);
void sample_unlock_pixels(SampleBuffer* sample);

// CGImageCreate over the caller's B G R A premultiplied rows
// (kCGBitmapByteOrder32Little | kCGImageAlphaPremultipliedFirst, sRGB) without
// copying them: they must stay as they are until the image is released. +1 or
// null. Thread: any.
Image* image_create_bgra(const uint8_t* pixels, size_t width, size_t height, size_t bytes_per_row);

// ---- CoreGraphics: images ------------------------------------------------------
size_t image_width(Image* image);   // CGImageGetWidth
size_t image_height(Image* image);  // CGImageGetHeight
// The pixel extraction, a band of rows at a time: one bitmap context of
// `count` rows over the caller's memory (CGColorSpaceCreateDeviceRGB,
// CGBitmapContextCreate(out, width, count, 8, width*4, space,
// kCGImageAlphaPremultipliedLast)), the copy blend mode so that every byte is
// written whatever `out` held, CGContextDrawImage of the whole width x height
// image placed so that its row `first` is the context's top row: R G B A.
// Any thread, several bands of one image at once. Answers false when the
// context could not be made (no rows: count 0, or an empty image). Releases
// what it made; does not consume `image`.
bool draw_image_rows_rgba(Image* image, size_t width, size_t height, size_t first, size_t count,
                          uint8_t* out);
// ---- ImageIO: JPEG -----------------------------------------------------------
// CGImageDestinationCreateWithData (public.jpeg), CGImageDestinationAddImage
// with kCGImageDestinationLossyCompressionQuality = quality / 100.0, and
// Finalize: the whole image as a JPEG into *out (its old contents replaced).
// quality is 1..100. Answers nullopt, or why it failed (where the encoder's
// library is missing, its name). Thread: any, several at once; does not
// consume `image`.
std::optional<std::string> image_encode_jpeg(Image* image, int quality, std::vector<uint8_t>* out);

// ==== Phone ===================================================================
// ---- CoreMediaIO -----------------------------------------------------------------
// CMIOObjectSetPropertyData / CMIOObjectGetPropertyData on `object` with a
// 4-byte value and no qualifier; answer the OSStatus (0 success).
int32_t cmio_set_property_u32(uint32_t object, const PropertyAddress& address, uint32_t value);
int32_t cmio_get_property_u32(uint32_t object, const PropertyAddress& address, uint32_t* value);

// ---- AVFoundation: devices -----------------------------------------------------
enum class MediaType { Video, Audio, Muxed };

// +[AVCaptureDeviceDiscoverySession discoverySessionWithDeviceTypes:@[External]
// mediaType:position:Unspecified]; media nullopt is a nil media type. +1 or null.
DiscoverySession* discovery_session_create(std::optional<MediaType> media);
std::vector<CaptureDevice*> discovery_session_devices(DiscoverySession* session);  // each +1
std::vector<CaptureDevice*> devices_with_media_type(MediaType media);  // deprecated +devicesWithMediaType:, each +1
std::vector<CaptureDevice*> all_devices();                             // deprecated +devices, each +1

std::string device_unique_id(CaptureDevice* device);  // uniqueID, "" when nil
std::string device_localized_name(CaptureDevice* device);
std::string device_model_id(CaptureDevice* device);
std::string device_type(CaptureDevice* device);
bool device_has_media_type(CaptureDevice* device, MediaType media);
// CMVideoFormatDescriptionGetDimensions of activeFormat.formatDescription.
void device_active_dimensions(CaptureDevice* device, int32_t* width, int32_t* height);

// AVCaptureDeviceWasConnected/DisconnectedNotification on the default centre,
// any object, no queue: handlers run on the posting thread with the device
// (borrowed, retain to keep). Registered for the life of the process.
using DeviceNotificationHandler = void (*)(CaptureDevice* device);
void observe_device_notifications(DeviceNotificationHandler connected,
                                  DeviceNotificationHandler disconnected);

// +authorizationStatusForMediaType:AVMediaTypeVideo (AVAuthorizationStatus).
int64_t video_authorization_status();
// +requestAccessForMediaType:AVMediaTypeVideo completionHandler:. The handler
// may run on any thread, before or after this returns, or never.
void request_video_access(void* context, AccessCallback completion);

// ---- AVFoundation: capture session ---------------------------------------------
// +deviceInputWithDevice:error:. Null on failure; then *error_description is the
// NSError's localizedDescription when there was one.
DeviceInput* device_input_create(CaptureDevice* device,
                                 std::optional<std::string>* error_description);
CaptureSession* capture_session_create();
bool session_can_add_input(CaptureSession* session, DeviceInput* input);
void session_add_input(CaptureSession* session, DeviceInput* input);
bool session_can_add_output(CaptureSession* session, VideoOutput* output);
void session_add_output(CaptureSession* session, VideoOutput* output);
void session_start_running(CaptureSession* session);  // blocks until running
void session_stop_running(CaptureSession* session);
VideoOutput* video_output_create();
void video_output_set_always_discards_late_frames(VideoOutput* output, bool discard);
// Serial queue, background QoS, inherited autorelease frequency.
DispatchQueue* serial_queue_create(const char* label);
// [[KRFrameGrabber alloc] init]: ready semaphore (count 0) and no frame.
FrameGrabber* frame_grabber_create();
Semaphore* frame_grabber_ready(FrameGrabber* grabber);      // borrowed
PixelBuffer* frame_grabber_frame(FrameGrabber* grabber);    // borrowed, nullable
void video_output_set_sample_buffer_delegate(VideoOutput* output, FrameGrabber* grabber,
                                             DispatchQueue* queue);

// The frame encoding steps: CIImage imageWithCVPixelBuffer:, CIContext
// contextWithOptions:nil, createCGImage:fromRect: over the extent. +1 or null.
Image* image_from_pixel_buffer(PixelBuffer* buffer);
// CGImageDestinationCreateWithData(data, "public.png", 1, NULL), AddImage,
// Finalize. False when the destination could not be made or finalizing failed.
bool png_data_from_image(Image* image, std::vector<uint8_t>* out);

// ---- IOKit ---------------------------------------------------------------------
// IOServiceGetMatchingServices(kIOMainPortDefault, IOServiceMatching(class)):
// answers the kern_return_t; on success *services holds each service +1.
int32_t usb_matching_services(const char* class_name, std::vector<UsbService*>* services);
// IORegistryEntryCreateCFProperty of a number or string property.
struct RegistryValue {
  bool is_number = false;
  int64_t number = 0;  // when is_number
  std::string text;    // when a string
  int int_value() const;             // NSNumber/NSString intValue
  std::string string_value() const;  // stringValue (numbers in decimal)
};
std::optional<RegistryValue> usb_registry_property(UsbService* service, const char* name);

// ==== Desktop =================================================================
// ---- AppKit, CoreGraphics window list -------------------------------------------
struct RunningApplication {
  std::optional<std::string> bundle_identifier;  // nil when absent
  int32_t process_identifier = 0;
};
// [[NSWorkspace sharedWorkspace] runningApplications], in its order.
std::vector<RunningApplication> running_applications();
// AppKit updates runningApplications only while the main run loop runs. On the
// main thread, when that loop is not running already (a plain node host), turns
// it once in the default mode without waiting; elsewhere does nothing. Thread: any.
void refresh_running_applications();

struct WindowInfo {
  std::optional<int64_t> owner_pid;  // kCGWindowOwnerPID
  std::optional<int64_t> layer;      // kCGWindowLayer (intValue)
  bool has_bounds = false;           // kCGWindowBounds present
  bool bounds_valid = false;         // CGRectMakeWithDictionaryRepresentation succeeded
  Rect bounds;
  uint32_t number = 0;                    // kCGWindowNumber
  std::optional<std::string> owner_name;  // kCGWindowOwnerName
  std::optional<std::string> name;        // kCGWindowName; nullopt when withheld
};
// CGWindowListCopyWindowInfo(options, relative_to); nullopt when it answers NULL.
std::optional<std::vector<WindowInfo>> window_list_copy(uint32_t options, uint32_t relative_to);

struct ScreenInfo {
  Rect frame;
  double safe_area_top = 0;  // safeAreaInsets.top
  Rect auxiliary_top_left;   // auxiliaryTopLeftArea
  Rect auxiliary_top_right;  // auxiliaryTopRightArea
};
std::vector<ScreenInfo> screens();  // [NSScreen screens], in order

// ---- CoreAudio ---------------------------------------------------------------------
// The framework's own values for the objects, properties and statuses used here.
namespace coreaudio {
constexpr uint32_t kSystemObject = 1;                 // kAudioObjectSystemObject
constexpr uint32_t kScopeGlobal = 0x676C6F62;         // 'glob'
constexpr uint32_t kElementMain = 0;
constexpr uint32_t kProcessObjectList = 0x70727323;   // 'prs#'
constexpr uint32_t kIsRunningInput = 0x70697269;      // 'piri'
constexpr uint32_t kProcessPid = 0x70706964;          // 'ppid'
constexpr uint32_t kProcessBundleId = 0x70626964;     // 'pbid'
constexpr int32_t kBadObject = 0x216F626A;            // '!obj'
constexpr int32_t kUnknownProperty = 0x77686F3F;      // 'who?'
constexpr int32_t kBadPropertySize = 0x2173697A;      // '!siz'
}  // namespace coreaudio
bool audio_object_has_property(uint32_t object, const PropertyAddress& address);
int32_t audio_object_get_property_data_size(uint32_t object, const PropertyAddress& address,
                                            uint32_t* size);
// Plain-data read: *io_size in, bytes written out.
int32_t audio_object_get_property_data(uint32_t object, const PropertyAddress& address,
                                       uint32_t* io_size, void* data);
// A CFStringRef-valued property (size of one pointer), converted to UTF-8; the
// backend releases the CFString. *value stays nullopt when no string came back.
int32_t audio_object_get_property_string(uint32_t object, const PropertyAddress& address,
                                         std::optional<std::string>* value);

// AudioObjectAddPropertyListener: `listener` runs on a notification thread of
// the sound system after the property of `object` changed (several changes
// may come as one call). Answers the OSStatus (0 success).
using PropertyListener = void (*)(uint32_t object, const PropertyAddress& address, void* context);
int32_t audio_object_add_listener(uint32_t object, const PropertyAddress& address,
                                  PropertyListener listener, void* context);
// AudioObjectRemovePropertyListener with the same four. A call already running
// may still finish after this returns; none starts later. Answers the OSStatus.
int32_t audio_object_remove_listener(uint32_t object, const PropertyAddress& address,
                                     PropertyListener listener, void* context);

// ---- TCC (opened by the system itself with dlopen/dlsym) ------------------------------
// Where the TCC framework is. The product always answers
// "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC"; the fake
// may point at a test library.
const char* tcc_framework_path();
// The TCC services asked about: "kTCCServiceAudioCapture" (system audio
// capture) and "kTCCServiceScreenCapture" (Screen Recording).
enum class TccService { AudioCapture, ScreenCapture };
// Calls a looked-up TCCAccessPreflight(service, NULL): 0 granted, 1 denied,
// 2 not determined, anything else unknown. Thread: any.
int64_t tcc_call_preflight(void* function, TccService service);
// Calls a looked-up TCCAccessRequest(service, NULL, completion). The completion
// runs exactly once, on any thread, possibly before this returns.
void tcc_call_request(void* function, void* context, AccessCallback completion);

}  // namespace deskcap::platform
