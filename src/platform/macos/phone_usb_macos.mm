// IOKit: USB devices in the I/O Registry and their properties.
#import <Foundation/Foundation.h>
#import <IOKit/IOKitLib.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

// An io_service_t is a Mach port name, not an object, so it travels across the
// seam inside this box; releasing the box releases the port.
@interface KRRegistryEntry : NSObject
- (instancetype)initAdoptingService:(io_service_t)service;
@property(readonly, nonatomic) io_service_t service;
@end

@implementation KRRegistryEntry {
  io_service_t _service;
}

- (instancetype)initAdoptingService:(io_service_t)service {
  self = [super init];
  if (self) {
    _service = service;
  } else {
    IOObjectRelease(service);
  }
  return self;
}

- (void)dealloc {
  IOObjectRelease(_service);
}

- (io_service_t)service {
  return _service;
}

@end

namespace deskcap::platform {

using macos::Borrow;
using macos::HandOver;

namespace {

class ScopedIOObject {
 public:
  explicit ScopedIOObject(io_object_t object) : object_(object) {}
  ~ScopedIOObject() {
    if (object_ != 0) IOObjectRelease(object_);
  }
  ScopedIOObject(const ScopedIOObject&) = delete;
  ScopedIOObject& operator=(const ScopedIOObject&) = delete;
  io_object_t get() const { return object_; }

 private:
  io_object_t object_;
};

}  // namespace

int32_t usb_matching_services(const char* class_name, std::vector<UsbService*>* services) {
  io_iterator_t iterator = 0;
  // The matching dictionary is consumed by the call, also when it fails.
  kern_return_t status =
      IOServiceGetMatchingServices(kIOMainPortDefault, IOServiceMatching(class_name), &iterator);
  if (status != KERN_SUCCESS) return status;
  ScopedIOObject owned_iterator(iterator);
  while (io_service_t service = IOIteratorNext(owned_iterator.get())) {
    services->push_back(
        HandOver<UsbService>([[KRRegistryEntry alloc] initAdoptingService:service]));
  }
  return KERN_SUCCESS;
}

std::optional<RegistryValue> usb_registry_property(UsbService* service, const char* name) {
  KRRegistryEntry* entry = Borrow<KRRegistryEntry*>(service);
  NSString* key = [NSString stringWithUTF8String:name];
  if (entry == nil || key == nil) return std::nullopt;
  id value = CFBridgingRelease(IORegistryEntryCreateCFProperty(
      entry.service, (__bridge CFStringRef)key, kCFAllocatorDefault, 0));
  RegistryValue result;
  if ([value isKindOfClass:[NSNumber class]]) {
    result.is_number = true;
    result.number = [(NSNumber*)value longLongValue];
    return result;
  }
  if ([value isKindOfClass:[NSString class]]) {
    result.text = macos::Utf8(value);
    return result;
  }
  // Absent, or data/arrays/dictionaries, which the USB census never reads.
  return std::nullopt;
}

// Foundation's own conversions, so that odd values (a vendor id above INT_MAX,
// a string with trailing text) read exactly as they would in Objective-C.
int RegistryValue::int_value() const {
  if (is_number) return [NSNumber numberWithLongLong:number].intValue;
  NSString* string = [NSString stringWithUTF8String:text.c_str()];
  return string != nil ? string.intValue : 0;
}

std::string RegistryValue::string_value() const {
  if (is_number) return macos::Utf8([NSNumber numberWithLongLong:number].stringValue);
  return text;
}

}  // namespace deskcap::platform
