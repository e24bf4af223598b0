// Encoding a captured frame: CoreImage renders the pixel buffer, ImageIO
// writes the PNG.
#import <CoreGraphics/CoreGraphics.h>
#import <CoreImage/CoreImage.h>
#import <CoreVideo/CoreVideo.h>
#import <Foundation/Foundation.h>
#import <ImageIO/ImageIO.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::ScopedCF;

Image* image_from_pixel_buffer(PixelBuffer* buffer) {
  CVPixelBufferRef pixel_buffer = reinterpret_cast<CVPixelBufferRef>(buffer);
  if (pixel_buffer == nullptr) return nullptr;
  // CoreImage reads the device's own pixel format (often biplanar YUV from a
  // phone), so the output was not asked to convert frames.
  CIImage* image = [CIImage imageWithCVPixelBuffer:pixel_buffer];
  if (image == nil) return nullptr;
  CIContext* context = [CIContext contextWithOptions:nil];
  return reinterpret_cast<Image*>([context createCGImage:image fromRect:image.extent]);
}

bool png_data_from_image(Image* image, std::vector<uint8_t>* out) {
  CGImageRef cg_image = reinterpret_cast<CGImageRef>(image);
  if (cg_image == nullptr || out == nullptr) return false;
  NSMutableData* data = [[NSMutableData alloc] init];
  ScopedCF<CGImageDestinationRef> destination(CGImageDestinationCreateWithData(
      (__bridge CFMutableDataRef)data, CFSTR("public.png"), 1, nullptr));
  if (!destination) return false;
  CGImageDestinationAddImage(destination.get(), cg_image, nullptr);
  if (!CGImageDestinationFinalize(destination.get())) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(data.bytes);
  out->assign(bytes, bytes + data.length);
  return true;
}

}  // namespace deskcap::platform
