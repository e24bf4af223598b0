// The area-averaging downscale the fake and Linux backends share.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/shared/image_scale_shared.h"

namespace {

using Pixels = std::vector<uint8_t>;
using deskcap::platform::shared::Region;
using deskcap::platform::shared::ScaleSizes;
using deskcap::platform::shared::scale_down_area;

// Each pixel's four channels set to one value, so a channel mixed with its
// neighbour shows.
Pixels grey(std::initializer_list<int> values, int channel_step = 0) {
  Pixels out;
  for (int v : values)
    for (int c = 0; c < 4; ++c) out.push_back(static_cast<uint8_t>(v + c * channel_step));
  return out;
}

Pixels scaled(const Pixels& src, size_t w, size_t h, size_t dw, size_t dh) {
  Pixels dst(dw * dh * 4, 0xEE);
  EXPECT_TRUE(scale_down_area(src.data(), w, h, w * 4, dst.data(), dw, dh, dw * 4));
  return dst;
}

TEST(ImageScale, HalvingAveragesEachTwoByTwoBlockPerChannel) {
  // 4x2 to 2x1; channel c of every pixel is its value + c, rounded half up.
  Pixels src = grey({10, 20, 0, 251,
                     30, 41, 1, 251}, 1);
  EXPECT_EQ(scaled(src, 4, 2, 2, 1), grey({25, 126}, 1));  // (10+20+30+41)/4 = 25.25; 503/4 = 125.75
}

TEST(ImageScale, FractionalCoverageWeighsTheSharedPixelByItsShare) {
  // Three columns into two: each output takes 2/3 of its outer pixel and 1/3 of the middle one.
  Pixels row = grey({0, 90, 180});
  EXPECT_EQ(scaled(row, 3, 1, 2, 1), grey({30, 150}));
  // Both axes at once: 3x3 into 2x2, the middle row and column shared.
  Pixels square = grey({0, 0, 0,
                        90, 90, 90,
                        180, 180, 180});
  EXPECT_EQ(scaled(square, 3, 3, 2, 2), grey({30, 30, 150, 150}));
  Pixels spot = grey({0, 0, 0,
                      0, 252, 0,
                      0, 0, 0});
  EXPECT_EQ(scaled(spot, 3, 3, 2, 2), grey({28, 28, 28, 28}));  // 252 × 1/3 × 1/3
}

TEST(ImageScale, AFlatColourStaysExactAtAnyRatio) {
  const uint8_t colour[4] = {7, 128, 254, 255};
  for (auto [w, h, dw, dh] : std::vector<std::array<size_t, 4>>{{97, 61, 13, 7}, {2880, 3, 1280, 2}, {5, 5, 4, 3}}) {
    Pixels src(w * h * 4);
    for (size_t i = 0; i < src.size(); ++i) src[i] = colour[i % 4];
    Pixels dst = scaled(src, w, h, dw, dh);
    for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst[i], colour[i % 4]) << w << "x" << h << " at " << i;
  }
}

TEST(ImageScale, OnePixelResultsAreTheMeanOfEverything) {
  EXPECT_EQ(scaled(grey({0, 100, 200, 255}), 4, 1, 1, 1), grey({139}));  // 555/4 = 138.75
  EXPECT_EQ(scaled(grey({0, 100, 200}), 1, 3, 1, 1), grey({100}));
  EXPECT_EQ(scaled(grey({10, 20, 30, 40, 50, 60}), 3, 2, 1, 1), grey({35}));
}

TEST(ImageScale, EqualSizesCopyAndStridesAreHonoured) {
  // 2x2 within rows of 3 pixels; the output rows padded too.
  Pixels src = grey({1, 2, 99, 3, 4, 99}, 1);
  Pixels dst(2 * 12, 0xEE);
  ASSERT_TRUE(scale_down_area(src.data(), 2, 2, 12, dst.data(), 2, 2, 12));
  Pixels want = grey({1, 2, 0, 3, 4, 0}, 1);
  for (size_t i : {8, 9, 10, 11, 20, 21, 22, 23}) want[i] = 0xEE;
  EXPECT_EQ(dst, want);

  Pixels halved(4, 0);
  ASSERT_TRUE(scale_down_area(src.data(), 2, 2, 12, halved.data(), 1, 1, 4));
  EXPECT_EQ(halved, grey({3}, 1));  // (1+2+3+4)/4 = 2.5, rounded up
}

TEST(ImageScale, RefusesToEnlargeOrToMakeNothing) {
  Pixels src(4 * 4, 1), dst(9 * 4, 0xEE);
  EXPECT_FALSE(scale_down_area(src.data(), 2, 2, 8, dst.data(), 3, 2, 12));
  EXPECT_FALSE(scale_down_area(src.data(), 2, 2, 8, dst.data(), 2, 3, 8));
  EXPECT_FALSE(scale_down_area(src.data(), 2, 2, 8, dst.data(), 0, 1, 0));
  EXPECT_EQ(dst, Pixels(9 * 4, 0xEE));
}

// Pixels [r.x, r.x + r.width) x [r.y, r.y + r.height) of a w-wide image, tightly packed.
Pixels cut(const Pixels& image, size_t w, const Region& r) {
  Pixels out;
  for (size_t y = r.y; y < r.y + r.height; ++y)
    out.insert(out.end(), image.begin() + (y * w + r.x) * 4, image.begin() + (y * w + r.x + r.width) * 4);
  return out;
}

// What a stream does with a changed part of its source: the outputs that
// read it, recomputed from only the source they read, come out as scaling
// the whole changed image would, and no other output differs.
TEST(ImageScale, ARegionRecomputedFromItsOwnSourceMatchesTheWholeImageScaled) {
  std::mt19937 random(7);
  auto below = [&](size_t n) { return size_t(random() % n); };
  auto noise = [&](Pixels& image, size_t w, const Region& r) {
    for (size_t y = r.y; y < r.y + r.height; ++y)
      for (size_t x = r.x; x < r.x + r.width; ++x)
        for (int k = 0; k < 4; ++k) image[(y * w + x) * 4 + k] = uint8_t(random());
  };
  auto part = [&](size_t w, size_t h) {
    Region r{below(w), below(h), 0, 0};
    r.width = 1 + below(w - r.x);
    r.height = 1 + below(h - r.y);
    return r;
  };
  std::vector<ScaleSizes> cases{{2880, 30, 1280, 13}, {64, 64, 64, 64}, {64, 48, 64, 17}, {9, 300, 2, 300}};
  for (int i = 0; i < 300; ++i) {
    ScaleSizes s{1 + below(150), 1 + below(150), 0, 0};
    s.dst_width = 1 + below(s.src_width);
    s.dst_height = 1 + below(s.src_height);
    cases.push_back(s);
  }
  for (const ScaleSizes& s : cases) {
    SCOPED_TRACE(std::to_string(s.src_width) + "x" + std::to_string(s.src_height) + " to " +
                 std::to_string(s.dst_width) + "x" + std::to_string(s.dst_height));
    Pixels before(s.src_width * s.src_height * 4);
    noise(before, s.src_width, Region{0, 0, s.src_width, s.src_height});
    const Pixels old_frame = scaled(before, s.src_width, s.src_height, s.dst_width, s.dst_height);

    Pixels after = before;
    const Region changed = part(s.src_width, s.src_height);
    noise(after, s.src_width, changed);
    const Pixels new_frame = scaled(after, s.src_width, s.src_height, s.dst_width, s.dst_height);

    const Region outputs = deskcap::platform::shared::area_outputs_reading(s, changed);
    const Region read = deskcap::platform::shared::area_source_read(s, outputs);
    const Pixels held = cut(after, s.src_width, read);  // nothing else to read, for ASan to see
    Pixels frame = old_frame;
    ASSERT_TRUE(deskcap::platform::shared::scale_down_area_region(held.data(), read, read.width * 4, frame.data(),
                                                                  s.dst_width * 4, s, outputs));
    ASSERT_EQ(frame, new_frame) << "changed " << changed.x << "," << changed.y << " " << changed.width << "x"
                                << changed.height;

    // Any rectangle alone, the rest of the output untouched.
    const Region some = part(s.dst_width, s.dst_height);
    const Region some_read = deskcap::platform::shared::area_source_read(s, some);
    const Pixels some_held = cut(after, s.src_width, some_read);
    Pixels patched = old_frame;
    ASSERT_TRUE(deskcap::platform::shared::scale_down_area_region(some_held.data(), some_read, some_read.width * 4,
                                                                  patched.data(), s.dst_width * 4, s, some));
    for (size_t y = 0; y < s.dst_height; ++y)
      for (size_t x = 0; x < s.dst_width; ++x) {
        bool inside = x >= some.x && x < some.x + some.width && y >= some.y && y < some.y + some.height;
        const Pixels& want = inside ? new_frame : old_frame;
        for (int k = 0; k < 4; ++k)
          ASSERT_EQ(patched[(y * s.dst_width + x) * 4 + k], want[(y * s.dst_width + x) * 4 + k]) << x << "," << y;
      }
    // A source that falls short is refused, nothing written.
    if (some_read.width > 1) {
      Region short_of = some_read;
      short_of.width -= 1;
      Pixels untouched = old_frame;
      EXPECT_FALSE(deskcap::platform::shared::scale_down_area_region(some_held.data(), short_of, some_read.width * 4,
                                                                     untouched.data(), s.dst_width * 4, s, some));
      EXPECT_EQ(untouched, old_frame);
    }
  }
}

}  // namespace
