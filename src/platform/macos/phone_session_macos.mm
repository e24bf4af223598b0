// AVFoundation capture sessions: device input, video data output, the session
// itself and the serial queue frames are delivered on.
#import <AVFoundation/AVFoundation.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::Borrow;
using macos::HandOver;

DeviceInput* device_input_create(CaptureDevice* device,
                                 std::optional<std::string>* error_description) {
  if (error_description != nullptr) error_description->reset();
  NSError* error = nil;
  // Fails without camera access or when the device has gone; the error says
  // which, in the user's language.
  AVCaptureDeviceInput* input =
      [AVCaptureDeviceInput deviceInputWithDevice:Borrow<AVCaptureDevice*>(device) error:&error];
  if (input == nil) {
    if (error != nil && error_description != nullptr) {
      *error_description = macos::Utf8(error.localizedDescription);
    }
    return nullptr;
  }
  return HandOver<DeviceInput>(input);
}

CaptureSession* capture_session_create() {
  return HandOver<CaptureSession>([[AVCaptureSession alloc] init]);
}

bool session_can_add_input(CaptureSession* session, DeviceInput* input) {
  return [Borrow<AVCaptureSession*>(session) canAddInput:Borrow<AVCaptureDeviceInput*>(input)];
}

void session_add_input(CaptureSession* session, DeviceInput* input) {
  [Borrow<AVCaptureSession*>(session) addInput:Borrow<AVCaptureDeviceInput*>(input)];
}

bool session_can_add_output(CaptureSession* session, VideoOutput* output) {
  return
      [Borrow<AVCaptureSession*>(session) canAddOutput:Borrow<AVCaptureVideoDataOutput*>(output)];
}

void session_add_output(CaptureSession* session, VideoOutput* output) {
  [Borrow<AVCaptureSession*>(session) addOutput:Borrow<AVCaptureVideoDataOutput*>(output)];
}

// startRunning blocks until the device is streaming (or has failed to start),
// which for a phone can take a noticeable fraction of a second; callers are on
// worker threads for that reason.
void session_start_running(CaptureSession* session) {
  [Borrow<AVCaptureSession*>(session) startRunning];
}

void session_stop_running(CaptureSession* session) {
  [Borrow<AVCaptureSession*>(session) stopRunning];
}

VideoOutput* video_output_create() {
  return HandOver<VideoOutput>([[AVCaptureVideoDataOutput alloc] init]);
}

void video_output_set_always_discards_late_frames(VideoOutput* output, bool discard) {
  Borrow<AVCaptureVideoDataOutput*>(output).alwaysDiscardsLateVideoFrames = discard ? YES : NO;
}

DispatchQueue* serial_queue_create(const char* label) {
  // Background QoS: one still frame is wanted, not latency. The autorelease
  // frequency is left inherited, since the frame callback autoreleases nothing.
  dispatch_queue_attr_t attributes =
      dispatch_queue_attr_make_with_qos_class(DISPATCH_QUEUE_SERIAL, QOS_CLASS_BACKGROUND, 0);
  return HandOver<DispatchQueue>(dispatch_queue_create(label, attributes));
}

}  // namespace deskcap::platform
