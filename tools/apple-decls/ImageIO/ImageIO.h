// ImageIO: encoding a CGImage into a data object (CGImageDestination.h).
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CoreGraphics.h>
#include <stdbool.h>

NS_ASSUME_NONNULL_BEGIN

typedef struct CF_BRIDGED_TYPE(id) CGImageDestination* CGImageDestinationRef;

DC_EXTERN_C CF_RETURNS_RETAINED CGImageDestinationRef _Nullable CGImageDestinationCreateWithData(
    CFMutableDataRef data, CFStringRef type, size_t count, CFDictionaryRef _Nullable options);
DC_EXTERN_C void CGImageDestinationAddImage(CGImageDestinationRef idst, CGImageRef image,
                                            CFDictionaryRef _Nullable properties);
DC_EXTERN_C bool CGImageDestinationFinalize(CGImageDestinationRef idst);
// CFNumber, 0.0 (most compression) to 1.0 (lossless where the format allows).
DC_EXTERN_C const CFStringRef kCGImageDestinationLossyCompressionQuality;

NS_ASSUME_NONNULL_END
