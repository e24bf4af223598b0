// CoreMedia: times, sample buffers and their attachments, and video format
// descriptions.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreVideo/CoreVideo.h>
#include <stdint.h>

NS_ASSUME_NONNULL_BEGIN

// CMTime.h
#pragma pack(push, 4)
typedef int64_t CMTimeValue;
typedef int32_t CMTimeScale;
typedef int64_t CMTimeEpoch;
typedef uint32_t CMTimeFlags;  // CF_OPTIONS in the SDK; no flag is named here
typedef struct {
  CMTimeValue value;
  CMTimeScale timescale;
  CMTimeFlags flags;
  CMTimeEpoch epoch;
} CMTime;
#pragma pack(pop)

DC_EXTERN_C CMTime CMTimeMake(int64_t value, int32_t timescale);

// CMSampleBuffer.h, CMFormatDescription.h
typedef struct CF_BRIDGED_TYPE(id) opaqueCMSampleBuffer* CMSampleBufferRef;
typedef const struct CF_BRIDGED_TYPE(id) opaqueCMFormatDescription* CMFormatDescriptionRef;
typedef CMFormatDescriptionRef CMVideoFormatDescriptionRef;

typedef struct {
  int32_t width;
  int32_t height;
} CMVideoDimensions;

DC_EXTERN_C CVImageBufferRef _Nullable CMSampleBufferGetImageBuffer(CMSampleBufferRef sbuf);
DC_EXTERN_C CFArrayRef _Nullable CMSampleBufferGetSampleAttachmentsArray(CMSampleBufferRef sbuf,
                                                                         Boolean createIfNecessary);
DC_EXTERN_C CMVideoDimensions
CMVideoFormatDescriptionGetDimensions(CMVideoFormatDescriptionRef videoDesc);

NS_ASSUME_NONNULL_END
