// CoreMedia: sample buffers and video format descriptions.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreVideo/CoreVideo.h>
#include <stdint.h>

NS_ASSUME_NONNULL_BEGIN

typedef struct CF_BRIDGED_TYPE(id) opaqueCMSampleBuffer* CMSampleBufferRef;
typedef const struct CF_BRIDGED_TYPE(id) opaqueCMFormatDescription* CMFormatDescriptionRef;
typedef CMFormatDescriptionRef CMVideoFormatDescriptionRef;

typedef struct {
  int32_t width;
  int32_t height;
} CMVideoDimensions;

DC_EXTERN_C CVImageBufferRef _Nullable CMSampleBufferGetImageBuffer(CMSampleBufferRef sbuf);
DC_EXTERN_C CMVideoDimensions
CMVideoFormatDescriptionGetDimensions(CMVideoFormatDescriptionRef videoDesc);

NS_ASSUME_NONNULL_END
