// CoreAudio HAL: property calls and listeners on audio objects
// (AudioHardware.h, AudioHardwareBase.h, AudioHardwareDeprecated.h).
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

// AudioHardwareBase.h
enum : OSStatus {
  kAudioHardwareUnspecifiedError = 0x77686174,  // 'what'
};

// AudioHardwareDeprecated.h, which AudioHardware.h includes; the selector
// itself carries no deprecation.
enum : AudioObjectPropertySelector {
  kAudioHardwarePropertyRunLoop = 0x726E6C70,  // 'rnlp'
};

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

DC_EXTERN_C OSStatus AudioObjectSetPropertyData(AudioObjectID inObjectID,
                                                const AudioObjectPropertyAddress* inAddress,
                                                UInt32 inQualifierDataSize,
                                                const void* _Nullable inQualifierData,
                                                UInt32 inDataSize, const void* inData);

typedef OSStatus (*AudioObjectPropertyListenerProc)(AudioObjectID inObjectID,
                                                    UInt32 inNumberAddresses,
                                                    const AudioObjectPropertyAddress* inAddresses,
                                                    void* _Nullable inClientData);
DC_EXTERN_C OSStatus AudioObjectAddPropertyListener(AudioObjectID inObjectID,
                                                    const AudioObjectPropertyAddress* inAddress,
                                                    AudioObjectPropertyListenerProc inListener,
                                                    void* _Nullable inClientData);
DC_EXTERN_C OSStatus AudioObjectRemovePropertyListener(AudioObjectID inObjectID,
                                                       const AudioObjectPropertyAddress* inAddress,
                                                       AudioObjectPropertyListenerProc inListener,
                                                       void* _Nullable inClientData);

NS_ASSUME_NONNULL_END
