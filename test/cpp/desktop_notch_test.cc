#include "desktop_worlds.h"

namespace {

using namespace desktop_test;

json screen(double width, double height, double inset, double left = 0, double right = 0) {
  return {{"frame", rect(0, 0, width, height)}, {"safeAreaTop", inset},
          {"auxiliaryTopLeft", rect(0, height - inset, left, inset)},
          {"auxiliaryTopRight", rect(width - right, height - inset, right, inset)}};
}

std::string notch() {
  return answer(deskcap::notch_size_step(scripted()), [](auto& s, const auto& n) { s << n.width << "x" << n.height; });
}

TEST(NotchSize, TheGapBetweenTheAuxiliaryAreasOfTheFirstScreenWithATopInset) {
  const std::pair<json, const char*> cases[] = {
      {json::array(), "null"}, {{screen(2560, 1440, 0), screen(1920, 1080, 0, 100, 100)}, "null"},
      // In points as the screen reports them, not pixels.
      {{screen(2560, 1440, 0), screen(1512, 982, 32, 662, 662), screen(1728, 1117, 38, 760, 760)}, "188x32"},
      // The first notched screen decides, even with no gap.
      {{screen(1512, 982, 32, 756, 756), screen(1728, 1117, 38, 760, 760)}, "null"},
      {json::array({screen(1512, 982, 32, 800, 800)}), "null"},
  };
  for (const auto& [screens, expected] : cases) {
    set_desktop({{"screens", screens}});
    EXPECT_EQ(notch(), expected) << screens.dump();
  }
}

TEST(NotchSize, DocumentsNeedTwoPositiveNumbers) {
  set_raw_answer("notch_size", "{\"width\":185.5,\"height\":0.5}");
  EXPECT_EQ(notch(), "185.5x0.5");
  for (const char* text : {"{\"width\":\"185\",\"height\":32}", "{\"width\":185}", "{\"width\":185,\"height\":-1}",
                           "[185,32]", "null"}) {
    set_raw_answer("notch_size", text);
    EXPECT_EQ(notch(), "null") << text;
  }
  for (const char* text : {"{\"width\":1,\"height\":2}}", "{width:1}", "{\"width\":1,\"height\":2"}) {
    set_raw_answer("notch_size", text);
    EXPECT_EQ(notch().rfind("error: Malformed notch size: ", 0), 0u) << text;
  }
}

}  // namespace
