// CoreAudio HAL: property calls on audio objects (AudioHardware.h,
// AudioHardwareBase.h).
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef UInt32 AudioObjectID;
typedef UInt32 AudioObjectPropertySelector;
typedef UInt32 AudioObjectPropertyScope;
typedef UInt32 AudioObjectPropertyElement;

struct AudioObjectPropertyAddress {
  AudioObjectPropertySelector mSelector;
  AudioObjectPropertyScope mScope;
  AudioObjectPropertyElement mElement;
};
typedef struct AudioObjectPropertyAddress AudioObjectPropertyAddress;

NS_ASSUME_NONNULL_BEGIN

DC_EXTERN_C Boolean AudioObjectHasProperty(AudioObjectID inObjectID,
                                           const AudioObjectPropertyAddress* inAddress);
DC_EXTERN_C OSStatus AudioObjectGetPropertyDataSize(AudioObjectID inObjectID,
                                                    const AudioObjectPropertyAddress* inAddress,
                                                    UInt32 inQualifierDataSize,
                                                    const void* _Nullable inQualifierData,
                                                    UInt32* outDataSize);
DC_EXTERN_C OSStatus AudioObjectGetPropertyData(AudioObjectID inObjectID,
                                                const AudioObjectPropertyAddress* inAddress,
                                                UInt32 inQualifierDataSize,
                                                const void* _Nullable inQualifierData,
                                                UInt32* ioDataSize, void* outData);

NS_ASSUME_NONNULL_END
