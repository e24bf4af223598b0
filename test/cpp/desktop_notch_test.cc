#include <gtest/gtest.h>

#include "desktop_worlds.h"
#include "desktop/desktop_steps.h"

namespace {

using namespace desktop_test;
using deskcap::notch_size_step;

json screen(double width, double height, double inset, double left = 0, double right = 0) {
  return {{"frame", rect(0, 0, width, height)},
          {"safeAreaTop", inset},
          {"auxiliaryTopLeft", rect(0, height - inset, left, inset)},
          {"auxiliaryTopRight", rect(width - right, height - inset, right, inset)}};
}

std::optional<deskcap::NotchSize> notch() {
  auto result = notch_size_step(scripted());
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().reason);
  return result.ok() ? result.value() : std::nullopt;
}

TEST(NotchSize, NoScreenWithATopInsetAnswersNull) {
  set_desktop(json::object());
  EXPECT_FALSE(notch().has_value());
  set_desktop({{"screens", {screen(2560, 1440, 0), screen(1920, 1080, 0, 100, 100)}}});
  EXPECT_FALSE(notch().has_value());
}

TEST(NotchSize, FirstNotchedScreenInOrderCounts) {
  // An external display listed first, then the built-in one, then another notched one.
  set_desktop({{"screens",
                {screen(2560, 1440, 0), screen(1512, 982, 32, 662, 662),
                 screen(1728, 1117, 38, 760, 760)}}});
  auto n = notch();
  ASSERT_TRUE(n.has_value());
  // Points as the screen reports them, not pixels.
  EXPECT_EQ(n->width, 188);
  EXPECT_EQ(n->height, 32);
}

TEST(NotchSize, AuxiliaryAreasLeavingNoGapAnswerNull) {
  set_desktop({{"screens", {screen(1512, 982, 32, 756, 756), screen(1728, 1117, 38, 760, 760)}}});
  EXPECT_FALSE(notch().has_value());  // the first notched screen decides, even with no gap
  set_desktop({{"screens", {screen(1512, 982, 32, 800, 800)}}});
  EXPECT_FALSE(notch().has_value());
}

TEST(NotchSize, DocumentsNeedTwoPositiveNumbers) {
  set_raw_answer("notch_size", "{\"width\":185.5,\"height\":0.5}");
  auto n = notch();
  ASSERT_TRUE(n.has_value());
  EXPECT_EQ(n->width, 185.5);
  EXPECT_EQ(n->height, 0.5);

  for (const char* text : {"{\"width\":\"185\",\"height\":32}", "{\"width\":185}",
                           "{\"width\":185,\"height\":-1}", "[185,32]", "null"}) {
    set_raw_answer("notch_size", text);
    EXPECT_FALSE(notch().has_value()) << text;
  }

  for (const char* text : {"{\"width\":1,\"height\":2}}", "{width:1}", "{\"width\":1,\"height\":2"}) {
    set_raw_answer("notch_size", text);
    auto result = notch_size_step(scripted());
    ASSERT_FALSE(result.ok()) << text;
    EXPECT_EQ(result.error().status, deskcap::Status::GenericFailure);
    EXPECT_EQ(result.error().reason.rfind("Malformed notch size: ", 0), 0u) << result.error().reason;
  }
}

}  // namespace
