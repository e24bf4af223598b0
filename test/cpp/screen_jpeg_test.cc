// The JPEG encode's failures through the seam in the fake world; what it
// encodes is read back by Pillow through the captures (capture-output.test.js).
#include <functional>

#include "platform/shared/jpeg_shared.h"
#include "screen_worlds.h"

namespace deskcap {
namespace {

using platform::Image;
using platform::Ref;

struct Rgb {
  int r, g, b;
};

// A fake screenshot: the fake holds premultiplied B G R A.
Ref<Image> image_of(size_t width, size_t height, const std::function<Rgb(size_t, size_t)>& at) {
  Ref<Image> image(new Image);
  image.get()->width = width;
  image.get()->height = height;
  image.get()->bgra.resize(width * height * 4);
  for (size_t y = 0; y < height; ++y)
    for (size_t x = 0; x < width; ++x) {
      const Rgb c = at(x, y);
      uint8_t* p = &image.get()->bgra[(y * width + x) * 4];
      p[0] = static_cast<uint8_t>(c.b), p[1] = static_cast<uint8_t>(c.g);
      p[2] = static_cast<uint8_t>(c.r), p[3] = 255;
    }
  return image;
}

TEST(ScreenJpeg, FailuresAreWordedForTheCaller) {
  std::vector<uint8_t> jpeg;
  auto empty = image_of(0, 0, [](size_t, size_t) { return Rgb{}; });
  auto failed = platform::image_encode_jpeg(empty.get(), 80, &jpeg);
  ASSERT_TRUE(failed.has_value());
  EXPECT_EQ(failed->rfind("JPEG encode failed: ", 0), 0u) << *failed;
  EXPECT_GT(failed->size(), std::string("JPEG encode failed: ").size());

  const uint8_t pixel[4] = {0, 0, 0, 255};
  EXPECT_EQ(platform::shared::encode_jpeg_bgrx_with("libturbojpeg-not-installed.so.0", pixel, 1, 1, 4, 80,
                                                    &jpeg),
            std::optional<std::string>(
                "JPEG encoding needs libjpeg-turbo's TurboJPEG library (libturbojpeg.so.0), which "
                "could not be loaded"));
}

}  // namespace
}  // namespace deskcap
