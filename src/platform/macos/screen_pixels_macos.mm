// CoreGraphics images: size, and drawing bands of one into RGBA memory.
#import <CoreGraphics/CoreGraphics.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::ScopedCF;

size_t image_width(Image* image) { return CGImageGetWidth(reinterpret_cast<CGImageRef>(image)); }

size_t image_height(Image* image) { return CGImageGetHeight(reinterpret_cast<CGImageRef>(image)); }

bool draw_image_rows_rgba(Image* image, size_t width, size_t height, size_t first, size_t count,
                          uint8_t* out) {
  CGImageRef cg_image = reinterpret_cast<CGImageRef>(image);
  size_t row_bytes = 0;
  size_t total = 0;
  if (cg_image == nullptr || out == nullptr || first > height || count > height - first ||
      __builtin_mul_overflow(width, size_t{4}, &row_bytes) ||
      __builtin_mul_overflow(count, row_bytes, &total)) {
    return false;
  }
  // Drawing converts whatever the screenshot holds (BGRA, a display's colour
  // space) into R, G, B, A bytes, straight into the caller's memory: no
  // buffer of the graphics library's own, no copy. The memory starts with the
  // context's top row, although its coordinates grow upwards: the image goes
  // `first` rows above the top, whole-pixel aligned at 1:1, so nothing is
  // resampled, and the clip keeps the work to this band.
  ScopedCF<CGColorSpaceRef> space(CGColorSpaceCreateDeviceRGB());
  ScopedCF<CGContextRef> context(CGBitmapContextCreate(
      out, width, count, 8, row_bytes, space.get(), kCGImageAlphaPremultipliedLast));
  if (!context) return false;
  // The band memory is reused: replace its bytes rather than blend over them,
  // so that a translucent pixel shows nothing of the last image.
  CGContextSetBlendMode(context.get(), kCGBlendModeCopy);
  const CGFloat bottom = static_cast<CGFloat>(count) + static_cast<CGFloat>(first) - static_cast<CGFloat>(height);
  CGContextDrawImage(context.get(), CGRectMake(0, bottom, width, height), cg_image);
  return true;
}

}  // namespace deskcap::platform
