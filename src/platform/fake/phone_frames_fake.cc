// Rendering a captured frame into an image and writing that image as a PNG
// (CoreImage and ImageIO on the real system; libpng here).
#include <png.h>

#include <csetjmp>

#include "platform/fake/phone_fake.h"
#include "platform/fake/screen_fake.h"

namespace deskcap::platform {
namespace {

// An image rendered from a frame remembers whether the frame asked for its
// encoding to fail.
struct FrameImage : Image {
  bool encode_fails = false;
};

void write_to_vector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

uint8_t unpremultiply(uint8_t v, uint8_t a) {
  if (a == 0) return 0;
  unsigned value = (v * 255u + a / 2) / a;
  return static_cast<uint8_t>(value > 255 ? 255 : value);
}

bool encode_png(const Image& image, std::vector<uint8_t>* out) {
  if (image.width == 0 || image.height == 0 || image.width > 0x7FFFFFFF || image.height > 0x7FFFFFFF)
    return false;
  std::vector<uint8_t> row(image.width * 4);
  std::vector<uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &bytes, write_to_vector, nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  png_write_info(png, info);
  for (size_t y = 0; y < image.height; ++y) {
    const uint8_t* src = image.bgra.data() + y * image.width * 4;
    for (size_t x = 0; x < image.width; ++x) {
      uint8_t a = src[x * 4 + 3];
      row[x * 4 + 0] = unpremultiply(src[x * 4 + 2], a);
      row[x * 4 + 1] = unpremultiply(src[x * 4 + 1], a);
      row[x * 4 + 2] = unpremultiply(src[x * 4 + 0], a);
      row[x * 4 + 3] = a;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  *out = std::move(bytes);
  return true;
}

}  // namespace

Image* image_from_pixel_buffer(PixelBuffer* buffer) {
  if (buffer == nullptr || buffer->render_fails || buffer->width <= 0 || buffer->height <= 0) return nullptr;
  auto* image = new FrameImage;
  image->width = static_cast<size_t>(buffer->width);
  image->height = static_cast<size_t>(buffer->height);
  image->encode_fails = buffer->encode_fails;
  const uint8_t* c = buffer->rgba;
  auto pre = [&](uint8_t v) { return static_cast<uint8_t>((v * c[3] + 127) / 255); };
  const uint8_t pixel[4] = {pre(c[2]), pre(c[1]), pre(c[0]), c[3]};
  image->bgra.resize(image->width * image->height * 4);
  for (size_t i = 0; i < image->bgra.size(); i += 4) std::copy(pixel, pixel + 4, image->bgra.begin() + i);
  return image;
}

bool png_data_from_image(Image* image, std::vector<uint8_t>* out) {
  if (image == nullptr) return false;
  if (auto* frame = dynamic_cast<FrameImage*>(image); frame != nullptr && frame->encode_fails) return false;
  if (image->bgra.size() < image->width * image->height * 4) return false;
  return encode_png(*image, out);
}

}  // namespace deskcap::platform
