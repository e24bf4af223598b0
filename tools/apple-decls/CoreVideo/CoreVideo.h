// CoreVideo: pixel buffers, their reference counting and CPU access to their
// memory.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef struct CF_BRIDGED_TYPE(id) __CVBuffer* CVBufferRef;
typedef CVBufferRef CVImageBufferRef;
typedef CVImageBufferRef CVPixelBufferRef;

// CVBase.h, CVReturn.h
typedef uint64_t CVOptionFlags;
enum _CVReturn : int32_t {
  kCVReturnSuccess = 0,
};
typedef int32_t CVReturn;

// CVPixelBuffer.h
enum : OSType {
  kCVPixelFormatType_32BGRA = 'BGRA',
};

typedef CF_OPTIONS(CVOptionFlags, CVPixelBufferLockFlags) {
  kCVPixelBufferLock_ReadOnly = 0x00000001,
};

DC_EXTERN_C CVPixelBufferRef _Nullable CVPixelBufferRetain(CVPixelBufferRef _Nullable texture);
DC_EXTERN_C void CVPixelBufferRelease(CF_RELEASES_ARGUMENT CVPixelBufferRef _Nullable texture);

DC_EXTERN_C CVReturn CVPixelBufferLockBaseAddress(CVPixelBufferRef pixelBuffer,
                                                  CVPixelBufferLockFlags lockFlags);
DC_EXTERN_C CVReturn CVPixelBufferUnlockBaseAddress(CVPixelBufferRef pixelBuffer,
                                                    CVPixelBufferLockFlags unlockFlags);
DC_EXTERN_C size_t CVPixelBufferGetWidth(CVPixelBufferRef pixelBuffer);
DC_EXTERN_C size_t CVPixelBufferGetHeight(CVPixelBufferRef pixelBuffer);
DC_EXTERN_C OSType CVPixelBufferGetPixelFormatType(CVPixelBufferRef pixelBuffer);
DC_EXTERN_C void* _Nullable CVPixelBufferGetBaseAddress(CVPixelBufferRef pixelBuffer);
DC_EXTERN_C size_t CVPixelBufferGetBytesPerRow(CVPixelBufferRef pixelBuffer);

NS_ASSUME_NONNULL_END
