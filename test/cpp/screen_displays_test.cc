// getDisplays over the fake CoreGraphics display list.
#include "screen/screen.h"
#include "screen_worlds.h"

namespace {

using namespace screen_test;
using deskcap::get_displays;

class DisplaysTest : public LeakCheck {};

std::vector<deskcap::DisplayEntry> listed() {
  auto r = get_displays();
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().reason);
  return r.ok() ? r.take() : std::vector<deskcap::DisplayEntry>{};
}

TEST_F(DisplaysTest, BuiltInRetinaDisplay) {
  set_screen({{"displays", {display(69733378, rect(0, 0, 1512, 982), 3024, 1512, true)}}});
  auto d = listed();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].id, 69733378u);
  EXPECT_EQ(d[0].name, "Display 69733378");
  EXPECT_EQ(d[0].x, 0);
  EXPECT_EQ(d[0].y, 0);
  EXPECT_EQ(d[0].width, 1512u);
  EXPECT_EQ(d[0].height, 982u);
  EXPECT_DOUBLE_EQ(d[0].scale_factor, 2.0);
  EXPECT_TRUE(d[0].is_primary);
}

TEST_F(DisplaysTest, SeveralDisplaysInListOrder) {
  json no_mode = display(3, rect(1512, -200.9, 1920.7, 1080), 0, 0);
  no_mode["mode"] = nullptr;
  json zero_width = display(4, rect(0, 982, 800, 600), 1600, 0);
  set_screen({{"displays",
               {display(2, rect(-2560, -300.5, 2560, 1440), 5120, 2560), display(1, rect(0, 0, 1512, 982), 3024, 1512, true),
                no_mode, zero_width}}});
  auto d = listed();
  ASSERT_EQ(d.size(), 4u);
  // Left of the main display: negative x; fractions truncate toward zero.
  EXPECT_EQ(d[0].id, 2u);
  EXPECT_EQ(d[0].x, -2560);
  EXPECT_EQ(d[0].y, -300);
  EXPECT_FALSE(d[0].is_primary);
  EXPECT_TRUE(d[1].is_primary);
  EXPECT_EQ(d[2].y, -200);
  EXPECT_EQ(d[2].width, 1920u);
  EXPECT_DOUBLE_EQ(d[2].scale_factor, 1.0);  // no readable mode
  EXPECT_DOUBLE_EQ(d[3].scale_factor, 1.0);  // point width 0
  int primaries = 0;
  for (const auto& e : d) {
    primaries += e.is_primary;
    EXPECT_EQ(e.name, "Display " + std::to_string(e.id));
  }
  EXPECT_EQ(primaries, 1);
}

TEST_F(DisplaysTest, ScaleComesFromTheWidthsAlone) {
  json odd = display(5, rect(0, 0, 1000, 1000), 1500, 1000);
  set_screen({{"displays", {odd}}});
  auto d = listed();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_DOUBLE_EQ(d[0].scale_factor, 1.5);
}

TEST_F(DisplaysTest, OutOfRangeBoundsClamp) {
  set_screen({{"displays", {display(6, rect(-1e12, 1e12, -5, 1e11), 10, 10)}}});
  auto d = listed();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].x, INT32_MIN);
  EXPECT_EQ(d[0].y, INT32_MAX);
  EXPECT_EQ(d[0].width, 0u);
  EXPECT_EQ(d[0].height, UINT32_MAX);
}

TEST_F(DisplaysTest, NoActiveDisplayIsAnEmptyList) {
  set_screen(json::object());
  EXPECT_TRUE(listed().empty());
  json inactive = display(1, rect(0, 0, 10, 10), 10, 10, true);
  inactive["active"] = false;
  set_screen({{"displays", {inactive}}});
  EXPECT_TRUE(listed().empty());
}

TEST_F(DisplaysTest, DisplayListFailuresAndAShrinkingList) {
  json two = {display(1, rect(0, 0, 10, 10), 10, 10, true), display(2, rect(10, 0, 10, 10), 10, 10)};
  set_screen({{"displays", two}, {"displayList", {{"countError", 1001}}}});
  auto r = get_displays();
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().status, deskcap::Status::GenericFailure);
  EXPECT_EQ(r.error().reason, "Failed to get display count");

  set_screen({{"displays", two}, {"displayList", {{"listError", 1004}}}});
  r = get_displays();
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().reason, "Failed to get display list");

  // One display went away between the count and the list: the list's count wins.
  set_screen({{"displays", two}, {"displayList", {{"listCount", 1}}}});
  auto d = listed();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].id, 1u);
}

TEST_F(DisplaysTest, MainDisplayThatIsNotListed) {
  set_screen({{"displays", {display(1, rect(0, 0, 10, 10), 10, 10)}}, {"mainDisplayId", 9}});
  auto d = listed();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_FALSE(d[0].is_primary);
}

}  // namespace
