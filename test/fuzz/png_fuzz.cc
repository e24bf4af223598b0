// libFuzzer target: two bytes choose the size (1-64 each way), a third may ask for a bad call
// (a text, no output), the rest fills the pixels, which libpng must read back exactly.
#include <png.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "screen/png_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace deskcap;
  if (size < 3) return 0;
  uint32_t width = 1 + data[0] % 64, height = 1 + data[1] % 64;
  const uint8_t mode = data[2];
  std::vector<uint8_t> pixels(size_t{width} * height * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = size > 3 ? data[3 + i % (size - 3)] : 0;

  std::vector<uint8_t> png;
  if (mode >= 0xfd) {
    // 0xfd: zero width, 0xfe: zero height, 0xff: a length that does not match.
    auto refused = encode_png(pixels.data(), pixels.size() - (mode == 0xff ? 1 : 0), mode == 0xfd ? 0 : width,
                              mode == 0xfe ? 0 : height, &png);
    if (refused.ok() || refused.error().reason.empty() || !png.empty()) std::abort();
    return 0;
  }
  if (!encode_png(pixels.data(), pixels.size(), width, height, &png).ok()) std::abort();

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size()) || image.width != width ||
      image.height != height)
    std::abort();
  image.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> decoded(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr) || decoded != pixels) std::abort();
  return 0;
}
