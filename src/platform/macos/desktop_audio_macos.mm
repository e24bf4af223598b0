// CoreAudio HAL properties (the per-process audio objects of macOS 14).
#import <CoreAudio/CoreAudio.h>
#import <Foundation/Foundation.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

namespace {

AudioObjectPropertyAddress AudioAddress(const PropertyAddress& address) {
  return AudioObjectPropertyAddress{address.selector, address.scope, address.element};
}

}  // namespace

bool audio_object_has_property(uint32_t object, const PropertyAddress& address) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  return AudioObjectHasProperty(object, &audio_address) != 0;
}

int32_t audio_object_get_property_data_size(uint32_t object, const PropertyAddress& address,
                                            uint32_t* size) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  return AudioObjectGetPropertyDataSize(object, &audio_address, 0, nullptr, size);
}

int32_t audio_object_get_property_data(uint32_t object, const PropertyAddress& address,
                                       uint32_t* io_size, void* data) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  return AudioObjectGetPropertyData(object, &audio_address, 0, nullptr, io_size, data);
}

int32_t audio_object_get_property_string(uint32_t object, const PropertyAddress& address,
                                         std::optional<std::string>* value) {
  AudioObjectPropertyAddress audio_address = AudioAddress(address);
  CFStringRef string = nullptr;
  UInt32 size = sizeof(string);
  OSStatus status = AudioObjectGetPropertyData(object, &audio_address, 0, nullptr, &size, &string);
  // The HAL hands string properties over with a reference the caller owns.
  NSString* owned = CFBridgingRelease(string);
  if (owned != nil && value != nullptr) *value = macos::Utf8(owned);
  return status;
}

}  // namespace deskcap::platform
