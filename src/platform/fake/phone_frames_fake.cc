// Rendering a captured frame into an image and writing that image as a PNG
// (CoreImage and ImageIO on the real system; here the PNG writer the testing
// layer installs, so that the testing addon needs no PNG library).
#include <atomic>

#include "platform/fake/phone_fake.h"
#include "platform/fake/screen_fake.h"

namespace deskcap::platform {
namespace {

// An image rendered from a frame remembers whether the frame asked for its
// encoding to fail.
struct FrameImage : Image {
  bool encode_fails = false;
};

std::atomic<fake::PngWriter> png_writer{nullptr};

uint8_t unpremultiply(uint8_t v, uint8_t a) {
  if (a == 0) return 0;
  unsigned value = (v * 255u + a / 2) / a;
  return static_cast<uint8_t>(value > 255 ? 255 : value);
}

bool encode_png(const Image& image, std::vector<uint8_t>* out) {
  fake::PngWriter writer = png_writer.load();
  if (writer == nullptr || image.width == 0 || image.height == 0 || image.width > 0x7FFFFFFF ||
      image.height > 0x7FFFFFFF)
    return false;
  std::vector<uint8_t> rgba(image.width * image.height * 4);
  for (size_t i = 0; i < rgba.size(); i += 4) {
    const uint8_t* src = image.bgra.data() + i;
    uint8_t a = src[3];
    rgba[i + 0] = unpremultiply(src[2], a);
    rgba[i + 1] = unpremultiply(src[1], a);
    rgba[i + 2] = unpremultiply(src[0], a);
    rgba[i + 3] = a;
  }
  return writer(rgba.data(), rgba.size(), static_cast<uint32_t>(image.width),
                static_cast<uint32_t>(image.height), out);
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

namespace deskcap::fake {

void set_png_writer(PngWriter writer) { platform::png_writer.store(writer); }

}  // namespace deskcap::fake
