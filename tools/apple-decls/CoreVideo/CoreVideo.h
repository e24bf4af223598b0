// CoreVideo: pixel buffers and their reference counting.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef struct CF_BRIDGED_TYPE(id) __CVBuffer* CVBufferRef;
typedef CVBufferRef CVImageBufferRef;
typedef CVImageBufferRef CVPixelBufferRef;

DC_EXTERN_C CVPixelBufferRef _Nullable CVPixelBufferRetain(CVPixelBufferRef _Nullable texture);
DC_EXTERN_C void CVPixelBufferRelease(CF_RELEASES_ARGUMENT CVPixelBufferRef _Nullable texture);

NS_ASSUME_NONNULL_END
