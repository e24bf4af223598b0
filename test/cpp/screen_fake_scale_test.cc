// The fake window server's screenshots at a size smaller than the source's
// own, and its cursor, through the platform seam as the capture drives it.
#include "platform/platform.h"
#include "screen_worlds.h"
#include "seam_screenshot.h"

namespace {

using namespace screen_test;
namespace p = deskcap::platform;

using seam_test::Shot;

Shot capture(size_t width, size_t height, bool cursor, std::optional<p::Rect> crop = std::nullopt) {
  return seam_test::capture_first_display(width, height, cursor, crop);
}

// A 2x display of 100x50 points (200x100 pixels), black, with a white column
// one point wide at its left edge.
json screen(json extra = json::object()) {
  return plus({{"displays", {plus(display(1, rect(0, 0, 100, 50), 200, 100, true), {{"background", "#000000"}})}},
               {"windows", {window(10, rect(0, 0, 1, 50), "#ffffff")}},
               {"content", {{"deliver", "sync"}}},
               {"screenshot", {{"deliver", "sync"}}}},
              extra);
}

TEST(FakeScaling, ASmallerSizeIsPaintedAtTheSourcesOwnAndAveraged) {
  set_screen(screen());
  // A quarter across: the first pixel covers two white pixels and two black.
  Shot quarter = capture(50, 25, false);
  ASSERT_EQ(quarter.width, 50u);
  ASSERT_EQ(quarter.height, 25u);
  EXPECT_EQ(quarter.at(0, 0), "#808080ff");
  EXPECT_EQ(quarter.at(0, 24), "#808080ff");
  EXPECT_EQ(quarter.at(1, 12), "#000000ff");

  // The source's own size and a larger one paint every pixel by its centre, unblended.
  Shot own = capture(200, 100, false);
  EXPECT_EQ(own.at(1, 0) + own.at(2, 0), "#ffffffff#000000ff");
  Shot larger = capture(400, 50, false);
  ASSERT_EQ(larger.width, 400u);
  EXPECT_EQ(larger.at(3, 0) + larger.at(4, 0), "#ffffffff#000000ff");

  // The framework's own size wins, painted directly: no blend.
  set_screen(screen({{"screenshot", {{"deliver", "sync"}, {"imageSize", {{"width", 50}, {"height", 25}}}}}}));
  Shot forced = capture(50, 25, false);
  EXPECT_EQ(forced.at(0, 0), "#000000ff");
}

TEST(FakeScaling, TheCursorIsDrawnOnlyWhenAskedAtItsPlaceInTheCropBeforeScaling) {
  // Points (9.5, 5) to (11.5, 7): pixels (19, 10) to (23, 14) at 2x.
  set_screen(screen({{"cursor", {{"x", 9.5}, {"y", 5}, {"width", 2}, {"height", 2}, {"color", "#ff0000"}}}}));
  p::Rect crop{8, 4, 10, 10};  // 20x20 pixels from (16, 8); the cursor at (3, 2) to (7, 6) in it
  Shot own = capture(20, 20, true, crop);
  EXPECT_EQ(own.at(2, 2) + own.at(3, 2) + own.at(6, 5) + own.at(7, 5) + own.at(3, 6),
            "#000000ff#ff0000ff#ff0000ff#000000ff#000000ff");

  // Halved: pixel 1 across covers the cursor's first column and one black one.
  Shot half = capture(10, 10, true, crop);
  EXPECT_EQ(half.at(1, 1) + half.at(2, 1) + half.at(3, 2) + half.at(2, 3), "#800000ff#ff0000ff#800000ff#000000ff");

  Shot without = capture(10, 10, false, crop);
  for (size_t y = 0; y < 10; ++y)
    for (size_t x = 0; x < 10; ++x) ASSERT_EQ(without.at(x, y), "#000000ff") << x << "," << y;
}

}  // namespace
