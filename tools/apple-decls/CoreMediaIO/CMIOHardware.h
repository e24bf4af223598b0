// CoreMediaIO: the property calls on DAL objects (CMIOHardwareObject.h).
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef UInt32 CMIOObjectID;
typedef UInt32 CMIOObjectPropertySelector;
typedef UInt32 CMIOObjectPropertyScope;
typedef UInt32 CMIOObjectPropertyElement;

struct CMIOObjectPropertyAddress {
  CMIOObjectPropertySelector mSelector;
  CMIOObjectPropertyScope mScope;
  CMIOObjectPropertyElement mElement;
};
typedef struct CMIOObjectPropertyAddress CMIOObjectPropertyAddress;

DC_EXTERN_C OSStatus CMIOObjectSetPropertyData(CMIOObjectID objectID,
                                               const CMIOObjectPropertyAddress* address,
                                               UInt32 qualifierDataSize, const void* qualifierData,
                                               UInt32 dataSize, const void* data);
DC_EXTERN_C OSStatus CMIOObjectGetPropertyData(CMIOObjectID objectID,
                                               const CMIOObjectPropertyAddress* address,
                                               UInt32 qualifierDataSize, const void* qualifierData,
                                               UInt32 dataSize, UInt32* dataUsed, void* data);
