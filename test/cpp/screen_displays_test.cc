// getDisplays over the fake CoreGraphics display list.
#include <sstream>

#include "screen/screen.h"
#include "screen_worlds.h"

namespace {

using namespace screen_test;
using deskcap::get_displays;

class DisplaysTest : public LeakCheck {};

// "<id> <name> <x>,<y> <width>x<height> @<scale>[ primary]" per display.
std::vector<std::string> listed() {
  auto r = get_displays();
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().reason);
  std::vector<std::string> out;
  if (!r.ok()) return out;
  for (const auto& e : r.value()) {
    std::ostringstream s;
    s << e.id << " " << e.name << " " << e.x << "," << e.y << " " << e.width << "x" << e.height << " @"
      << e.scale_factor << (e.is_primary ? " primary" : "");
    out.push_back(s.str());
  }
  return out;
}

TEST_F(DisplaysTest, ActiveDisplaysInListOrder) {
  set_screen({{"displays",
               {display(2, rect(-2560, -300.5, 2560, 1440), 5120, 2560), display(1, rect(0, 0, 1512, 982), 3024, 1512, true),
                plus(display(3, rect(1512, -200.9, 1920.7, 1080), 0, 0), {{"mode", nullptr}}),
                display(4, rect(0, 982, 800, 600), 1600, 0), display(5, rect(0, 0, 1000, 1000), 1500, 1000),
                display(6, rect(-1e12, 1e12, -5, 1e11), 10, 10), plus(display(7, rect(0, 0, 10, 10), 10, 10), {{"active", false}})}}});
  // Fractions truncate toward zero; no readable mode or a point width of 0 is
  // scale 1; out-of-range bounds clamp.
  EXPECT_EQ(listed(), (std::vector<std::string>{
                          "2 Display 2 -2560,-300 2560x1440 @2", "1 Display 1 0,0 1512x982 @2 primary",
                          "3 Display 3 1512,-200 1920x1080 @1", "4 Display 4 0,982 800x600 @1",
                          "5 Display 5 0,0 1000x1000 @1.5", "6 Display 6 -2147483648,2147483647 0x4294967295 @1"}));

  set_screen(json::object());
  EXPECT_TRUE(listed().empty());
  set_screen({{"displays", {display(1, rect(0, 0, 10, 10), 10, 10)}}, {"mainDisplayId", 9}});
  EXPECT_EQ(listed(), std::vector<std::string>{"1 Display 1 0,0 10x10 @1"});
}

TEST_F(DisplaysTest, DisplayListFailuresAndAShrinkingList) {
  json two = {display(1, rect(0, 0, 10, 10), 10, 10, true), display(2, rect(10, 0, 10, 10), 10, 10)};
  for (auto [failure, reason] : {std::pair{"countError", "Failed to get display count"},
                                 {"listError", "Failed to get display list"}}) {
    set_screen({{"displays", two}, {"displayList", {{failure, 1001}}}});
    auto r = get_displays();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().status, deskcap::Status::GenericFailure);
    EXPECT_EQ(r.error().reason, reason);
  }
  // One display went away between the count and the list: the list's count wins.
  set_screen({{"displays", two}, {"displayList", {{"listCount", 1}}}});
  EXPECT_EQ(listed(), std::vector<std::string>{"1 Display 1 0,0 10x10 @1 primary"});
}

}  // namespace
