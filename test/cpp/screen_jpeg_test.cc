// JPEG through the seam in the fake world, judged by a decoder this project
// did not write (Pillow, in a python3 child).
#include <unistd.h>

#include <array>
#include <cstdio>
#include <functional>
#include <random>
#include <sstream>

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

// Pillow's reading of the file: "FORMAT MODE WIDTH HEIGHT", then "R G B" of each point.
std::string decoded(const std::vector<uint8_t>& jpeg, const std::vector<std::array<int, 2>>& points) {
  char path[] = "/tmp/deskcap-jpeg-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "no temporary file";
  const bool written = write(fd, jpeg.data(), jpeg.size()) == static_cast<ssize_t>(jpeg.size());
  close(fd);
  // Debian's own python3, which python3-pil serves: a python3 earlier on PATH
  // (pyenv, a virtualenv) may not have it.
  std::ostringstream script;
  script << "/usr/bin/python3 -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
            "print(im.format, im.mode, *im.size); im = im.convert(\"RGB\"); "
            "[print(*im.getpixel((x, y))) for x, y in [";
  for (auto& p : points) script << "(" << p[0] << "," << p[1] << "),";
  script << "]]' " << path << " 2>&1";
  std::string out;
  if (written) {
    FILE* child = popen(script.str().c_str(), "r");
    if (child != nullptr) {
      char buffer[256];
      while (fgets(buffer, sizeof buffer, child) != nullptr) out += buffer;
      if (pclose(child) != 0) out += "(python3 failed)";
    }
  }
  unlink(path);
  return out;
}

TEST(ScreenJpeg, FlatBlocksDecodeToTheirColoursAtTheImageSize) {
  // Block edges off the 16-pixel MCU grid and an odd size, so that partial
  // blocks and the colour order both show.
  const Rgb colours[] = {{230, 20, 20}, {20, 200, 40}, {30, 40, 220}, {200, 120, 40}};
  auto image = image_of(70, 50, [&](size_t x, size_t y) { return colours[(x >= 35) + 2 * (y >= 25)]; });
  std::vector<uint8_t> jpeg = {1, 2, 3};  // replaced, not appended to
  ASSERT_EQ(platform::image_encode_jpeg(image.get(), 90, &jpeg), std::nullopt);
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);

  std::istringstream lines(decoded(jpeg, {{12, 10}, {58, 10}, {12, 40}, {58, 40}}));
  std::string format, mode;
  int width = 0, height = 0;
  lines >> format >> mode >> width >> height;
  EXPECT_EQ(format + " " + mode, "JPEG RGB") << lines.str();
  EXPECT_EQ(width, 70);
  EXPECT_EQ(height, 50);
  for (const Rgb& want : colours) {
    Rgb got{-1, -1, -1};
    lines >> got.r >> got.g >> got.b;
    EXPECT_NEAR(got.r, want.r, 6) << lines.str();
    EXPECT_NEAR(got.g, want.g, 6) << lines.str();
    EXPECT_NEAR(got.b, want.b, 6) << lines.str();
  }
}

TEST(ScreenJpeg, LowerQualityMakesASmallerFile) {
  std::mt19937 random(7);
  auto image = image_of(64, 64, [&](size_t, size_t) {
    return Rgb{static_cast<int>(random() % 256), static_cast<int>(random() % 256), static_cast<int>(random() % 256)};
  });
  std::vector<uint8_t> low, high;
  ASSERT_EQ(platform::image_encode_jpeg(image.get(), 1, &low), std::nullopt);
  ASSERT_EQ(platform::image_encode_jpeg(image.get(), 100, &high), std::nullopt);
  EXPECT_LT(low.size(), high.size());
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
