// CoreGraphics images: size, and drawing one into RGBA memory.
#import <CoreGraphics/CoreGraphics.h>

#include <cstring>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::ScopedCF;

size_t image_width(Image* image) { return CGImageGetWidth(reinterpret_cast<CGImageRef>(image)); }

size_t image_height(Image* image) { return CGImageGetHeight(reinterpret_cast<CGImageRef>(image)); }

bool draw_image_rgba(Image* image, size_t width, size_t height, uint8_t* out) {
  CGImageRef cg_image = reinterpret_cast<CGImageRef>(image);
  size_t row_bytes = 0;
  size_t total = 0;
  if (cg_image == nullptr || out == nullptr ||
      __builtin_mul_overflow(width, size_t{4}, &row_bytes) ||
      __builtin_mul_overflow(height, row_bytes, &total)) {
    return false;
  }
  // Drawing converts whatever the screenshot holds (BGRA, a display's colour
  // space) into R, G, B, A bytes; reading the image's own buffer would not.
  ScopedCF<CGColorSpaceRef> space(CGColorSpaceCreateDeviceRGB());
  ScopedCF<CGContextRef> context(CGBitmapContextCreate(
      nullptr, width, height, 8, row_bytes, space.get(), kCGImageAlphaPremultipliedLast));
  if (!context) return false;
  CGContextDrawImage(context.get(), CGRectMake(0, 0, width, height), cg_image);
  const uint8_t* pixels = static_cast<const uint8_t*>(CGBitmapContextGetData(context.get()));
  if (pixels == nullptr) return false;
  // The context's memory starts with the top row, although its coordinates
  // grow upwards. The stride asked for is honoured, but read rather than assumed.
  size_t stride = CGBitmapContextGetBytesPerRow(context.get());
  if (stride == row_bytes) {
    std::memcpy(out, pixels, total);
  } else {
    for (size_t row = 0; row < height; ++row) {
      std::memcpy(out + row * row_bytes, pixels + row * stride, row_bytes);
    }
  }
  return true;
}

}  // namespace deskcap::platform
