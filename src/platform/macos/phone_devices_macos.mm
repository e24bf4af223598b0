// AVFoundation capture devices: discovery, the deprecated class queries, device
// facts, connection notifications and camera authorization.
#import <AVFoundation/AVFoundation.h>
#import <CoreMedia/CoreMedia.h>
#import <Foundation/Foundation.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::Borrow;
using macos::HandOver;
using macos::Utf8;

namespace {

AVMediaType AVMediaTypeFor(MediaType media) {
  switch (media) {
    case MediaType::Video:
      return AVMediaTypeVideo;
    case MediaType::Audio:
      return AVMediaTypeAudio;
    case MediaType::Muxed:
      return AVMediaTypeMuxed;
  }
  return AVMediaTypeVideo;
}

std::vector<CaptureDevice*> HandOverAll(NSArray<AVCaptureDevice*>* devices) {
  std::vector<CaptureDevice*> handles;
  handles.reserve(devices.count);
  for (AVCaptureDevice* device in devices) handles.push_back(HandOver<CaptureDevice>(device));
  return handles;
}

AVCaptureDevice* DeviceOf(NSNotification* notification) {
  id object = notification.object;
  return [object isKindOfClass:[AVCaptureDevice class]] ? object : nil;
}

}  // namespace

DiscoverySession* discovery_session_create(std::optional<MediaType> media) {
  AVMediaType media_type = media ? AVMediaTypeFor(*media) : nil;
  return HandOver<DiscoverySession>([AVCaptureDeviceDiscoverySession
      discoverySessionWithDeviceTypes:@[ AVCaptureDeviceTypeExternal ]
                            mediaType:media_type
                             position:AVCaptureDevicePositionUnspecified]);
}

std::vector<CaptureDevice*> discovery_session_devices(DiscoverySession* session) {
  return HandOverAll(Borrow<AVCaptureDeviceDiscoverySession*>(session).devices);
}

// A phone's screen device has been seen in these older queries before a
// discovery session lists it, so they stay in use despite the deprecation.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
std::vector<CaptureDevice*> devices_with_media_type(MediaType media) {
  return HandOverAll([AVCaptureDevice devicesWithMediaType:AVMediaTypeFor(media)]);
}

std::vector<CaptureDevice*> all_devices() { return HandOverAll([AVCaptureDevice devices]); }
#pragma clang diagnostic pop

std::string device_unique_id(CaptureDevice* device) {
  return Utf8(Borrow<AVCaptureDevice*>(device).uniqueID);
}

std::string device_localized_name(CaptureDevice* device) {
  return Utf8(Borrow<AVCaptureDevice*>(device).localizedName);
}

std::string device_model_id(CaptureDevice* device) {
  return Utf8(Borrow<AVCaptureDevice*>(device).modelID);
}

std::string device_type(CaptureDevice* device) {
  return Utf8(Borrow<AVCaptureDevice*>(device).deviceType);
}

bool device_has_media_type(CaptureDevice* device, MediaType media) {
  return [Borrow<AVCaptureDevice*>(device) hasMediaType:AVMediaTypeFor(media)];
}

void device_active_dimensions(CaptureDevice* device, int32_t* width, int32_t* height) {
  CMFormatDescriptionRef description =
      Borrow<AVCaptureDevice*>(device).activeFormat.formatDescription;
  CMVideoDimensions dimensions{0, 0};
  if (description != nullptr) dimensions = CMVideoFormatDescriptionGetDimensions(description);
  if (width != nullptr) *width = dimensions.width;
  if (height != nullptr) *height = dimensions.height;
}

void observe_device_notifications(DeviceNotificationHandler connected,
                                  DeviceNotificationHandler disconnected) {
  NSNotificationCenter* center = [NSNotificationCenter defaultCenter];
  // No queue: the handlers run synchronously on whatever thread AVFoundation
  // posts from. The centre keeps each block until the observer is removed,
  // which never happens, so the returned tokens are not kept.
  [center addObserverForName:AVCaptureDeviceWasConnectedNotification
                      object:nil
                       queue:nil
                  usingBlock:^(NSNotification* notification) {
                    @autoreleasepool {
                      AVCaptureDevice* device = DeviceOf(notification);
                      if (device != nil && connected != nullptr) {
                        connected((__bridge CaptureDevice*)device);
                      }
                    }
                  }];
  [center addObserverForName:AVCaptureDeviceWasDisconnectedNotification
                      object:nil
                       queue:nil
                  usingBlock:^(NSNotification* notification) {
                    @autoreleasepool {
                      AVCaptureDevice* device = DeviceOf(notification);
                      if (device != nil && disconnected != nullptr) {
                        disconnected((__bridge CaptureDevice*)device);
                      }
                    }
                  }];
}

int64_t video_authorization_status() {
  return [AVCaptureDevice authorizationStatusForMediaType:AVMediaTypeVideo];
}

void request_video_access(void* context, AccessCallback completion) {
  // The handler comes on an arbitrary queue, possibly much later: the system
  // prompt stays up until the user answers.
  [AVCaptureDevice requestAccessForMediaType:AVMediaTypeVideo
                           completionHandler:^(BOOL granted) {
                             completion(context, granted != NO);
                           }];
}

}  // namespace deskcap::platform
