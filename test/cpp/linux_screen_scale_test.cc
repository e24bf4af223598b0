// Display screenshots from a private Xvfb at a configured size smaller than
// the screen's, and with the server's pointer drawn in when asked.
#include <gtest/gtest.h>

#if __has_include(<xcb/xcb.h>)
#include <cstdio>
#include <string>
#include <vector>

#include "linux_private_x.h"
#include "seam_screenshot.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"

namespace {

namespace p = deskcap::platform;

using seam_test::Shot;

class Screenshots : public linux_test::PrivateX {
 protected:
  void SetUp() override {
    PrivateX::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(deskcap::linux_backend::x11::reachable());
    const uint32_t black[] = {0};
    create(0, 0, 640, 480, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, black);
  }

  Shot capture(size_t width, size_t height, bool cursor) {
    sync();
    return seam_test::capture_first_display(width, height, cursor);
  }

  // Pixels not black, as "x,y" in reading order.
  static std::vector<std::string> marked(const Shot& shot) {
    std::vector<std::string> out;
    for (size_t y = 0; y < shot.height; ++y)
      for (size_t x = 0; x < shot.width; ++x)
        if (shot.at(x, y) != "#000000ff") out.push_back(std::to_string(x) + "," + std::to_string(y) + shot.at(x, y));
    return out;
  }
};

TEST_F(Screenshots, ASmallerConfiguredSizeIsTheScreenAveraged) {
  const uint32_t white[] = {0xFFFFFF};
  create(0, 0, 1, 480, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, white);
  Shot own = capture(640, 480, false);
  EXPECT_EQ(own.at(0, 0) + own.at(1, 0), "#ffffffff#000000ff");

  Shot half = capture(320, 240, false);
  ASSERT_EQ(half.width, 320u);
  ASSERT_EQ(half.height, 240u);
  EXPECT_EQ(half.at(0, 0) + half.at(0, 239) + half.at(1, 120), "#808080ff#808080ff#000000ff");
}

TEST_F(Screenshots, TheServersPointerIsDrawnOnlyWhenAskedWhereItPoints) {
  set_red_cursor();
  point_at(102, 53);  // the pointer's pixels: (100, 50) to (107, 57)
  std::vector<std::string> square;
  for (int y = 50; y < 58; ++y)
    for (int x = 100; x < 108; ++x) square.push_back(std::to_string(x) + "," + std::to_string(y) + "#ff0000ff");
  EXPECT_EQ(marked(capture(640, 480, true)), square);
  EXPECT_EQ(marked(capture(640, 480, false)), std::vector<std::string>{});

  // Drawn before the image is halved: one pixel off an even column, the
  // pointer's edge columns come out half red.
  point_at(103, 53);
  Shot half = capture(320, 240, true);
  EXPECT_EQ(half.at(50, 26) + half.at(51, 26) + half.at(54, 26) + half.at(55, 26),
            "#800000ff#ff0000ff#800000ff#000000ff");
}

}  // namespace
#endif
