// CoreGraphics images: size, drawing bands of one into RGBA memory, images
// over a stream frame's BGRA copy, and the whole image as a JPEG through
// ImageIO.
#import <CoreFoundation/CoreFoundation.h>
#import <CoreGraphics/CoreGraphics.h>
#import <ImageIO/ImageIO.h>

#include <new>

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

Image* image_create_bgra(const uint8_t* pixels, size_t width, size_t height, size_t bytes_per_row) {
  size_t row_bytes = 0;
  size_t total = 0;
  if (pixels == nullptr || width == 0 || height == 0 ||
      __builtin_mul_overflow(width, size_t{4}, &row_bytes) || bytes_per_row < row_bytes ||
      __builtin_mul_overflow(bytes_per_row, height, &total)) {
    return nullptr;
  }
  // No release callback: the rows stay the caller's, and the image (with the
  // provider it retains) must be released before they change or go.
  ScopedCF<CGDataProviderRef> provider(CGDataProviderCreateWithData(nullptr, pixels, total, nullptr));
  if (!provider) return nullptr;
  ScopedCF<CGColorSpaceRef> space(CGColorSpaceCreateWithName(kCGColorSpaceSRGB));
  if (!space) return nullptr;
  // B G R A in memory is one little-endian 32-bit word with alpha first. (The
  // two are different enums, whose | C++20 deprecates.)
  const CGBitmapInfo info = static_cast<CGBitmapInfo>(kCGBitmapByteOrder32Little) |
                            static_cast<CGBitmapInfo>(kCGImageAlphaPremultipliedFirst);
  return reinterpret_cast<Image*>(CGImageCreate(width, height, 8, 32, bytes_per_row, space.get(),
                                                info, provider.get(), nullptr, false,
                                                kCGRenderingIntentDefault));
}

namespace {

std::string jpeg_failed(const char* why) { return std::string("JPEG encode failed: ") + why; }

}  // namespace

std::optional<std::string> image_encode_jpeg(Image* image, int quality, std::vector<uint8_t>* out) {
  CGImageRef cg_image = reinterpret_cast<CGImageRef>(image);
  if (cg_image == nullptr || out == nullptr) return jpeg_failed("no image");
  ScopedCF<CFMutableDataRef> data(CFDataCreateMutable(kCFAllocatorDefault, 0));
  if (!data) return jpeg_failed("out of memory");
  ScopedCF<CGImageDestinationRef> destination(
      CGImageDestinationCreateWithData(data.get(), CFSTR("public.jpeg"), 1, nullptr));
  if (!destination) return jpeg_failed("ImageIO could not make a JPEG destination");
  const double fraction = quality / 100.0;
  ScopedCF<CFNumberRef> number(CFNumberCreate(kCFAllocatorDefault, kCFNumberDoubleType, &fraction));
  if (!number) return jpeg_failed("out of memory");
  const void* keys[] = {kCGImageDestinationLossyCompressionQuality};
  const void* values[] = {number.get()};
  ScopedCF<CFDictionaryRef> properties(CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1,
                                                          &kCFTypeDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks));
  if (!properties) return jpeg_failed("out of memory");
  CGImageDestinationAddImage(destination.get(), cg_image, properties.get());
  if (!CGImageDestinationFinalize(destination.get()))
    return jpeg_failed("ImageIO could not finish the image");
  const UInt8* bytes = CFDataGetBytePtr(data.get());
  const CFIndex length = CFDataGetLength(data.get());
  if (bytes == nullptr || length <= 0) return jpeg_failed("ImageIO wrote nothing");
  try {
    out->assign(bytes, bytes + length);
  } catch (const std::bad_alloc&) {
    return jpeg_failed("out of memory");
  }
  return std::nullopt;
}

}  // namespace deskcap::platform
