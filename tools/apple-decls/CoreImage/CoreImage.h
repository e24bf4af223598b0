// CoreImage: an image over a pixel buffer, rendered to a CGImage.
#pragma once

#include <CoreGraphics/CoreGraphics.h>
#include <CoreVideo/CoreVideo.h>
#include <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef NSString* CIContextOption;

@interface CIImage : NSObject
+ (instancetype)imageWithCVPixelBuffer:(CVPixelBufferRef)pixelBuffer;
@property(nonatomic, readonly) CGRect extent;
@end

@interface CIContext : NSObject
+ (instancetype)contextWithOptions:(nullable NSDictionary<CIContextOption, id>*)options;
- (nullable CGImageRef)createCGImage:(CIImage*)image fromRect:(CGRect)fromRect CF_RETURNS_RETAINED;
@end

NS_ASSUME_NONNULL_END
