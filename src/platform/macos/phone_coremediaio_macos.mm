// CoreMediaIO properties of DAL objects (the system object's "allow screen
// capture devices" switch).
#import <CoreMediaIO/CMIOHardware.h>

#include "platform/platform.h"

namespace deskcap::platform {

namespace {

CMIOObjectPropertyAddress CmioAddress(const PropertyAddress& address) {
  return CMIOObjectPropertyAddress{address.selector, address.scope, address.element};
}

}  // namespace

int32_t cmio_set_property_u32(uint32_t object, const PropertyAddress& address, uint32_t value) {
  CMIOObjectPropertyAddress cmio_address = CmioAddress(address);
  return CMIOObjectSetPropertyData(object, &cmio_address, 0, nullptr, sizeof(value), &value);
}

int32_t cmio_get_property_u32(uint32_t object, const PropertyAddress& address, uint32_t* value) {
  CMIOObjectPropertyAddress cmio_address = CmioAddress(address);
  UInt32 used = 0;
  return CMIOObjectGetPropertyData(object, &cmio_address, 0, nullptr, sizeof(*value), &used, value);
}

}  // namespace deskcap::platform
