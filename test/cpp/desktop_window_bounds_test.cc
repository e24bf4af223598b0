
#include "desktop_worlds.h"

namespace {

using namespace desktop_test;
using deskcap::app_window_bounds_step;
using deskcap::fake::desktop_calls;

json example_app(int pid = 501) { return {{"bundleId", "com.example.app"}, {"pid", pid}}; }

std::string bounds_for(const std::string& bundle_id) {
  return answer(app_window_bounds_step(bundle_id, scripted()),
                [](auto& s, const auto& b) { s << b.x << "," << b.y << " " << b.width << "x" << b.height; });
}

TEST(WindowBounds, TheFrontmostLayerZeroWindowOfTheMinimumSizeWins) {
  json malformed_height = rect(0, 0, 800, 600);
  malformed_height["height"] = "600";
  const std::pair<json, const char*> cases[] = {
      {{window(501, rect(0, 0, 199.5, 900)), window(501, rect(0, 0, 900, 149.9)), window(501, rect(10, 20, 200, 150)),
        window(501, rect(0, 0, 1600, 1000))}, "10,20 200x150"},
      {{window(501, rect(0, 0, 199.5, 900)), window(501, rect(0, 0, 900, 149.9))}, "null"},
      {{window(501, rect(0, 0, 2000, 1200), 25), window(501, rect(0, 0, 2000, 1200), -1),
        window(7, rect(0, 0, 800, 600)),            // another application
        {{"bounds", rect(0, 0, 800, 600)}},         // no owner
        {{"ownerPid", 501}},                        // no bounds
        window(501, "not a dictionary"), window(501, malformed_height),
        window(501, rect(5, 6, 700, 500), nullptr)}, "5,6 700x500"},  // absent layer counts as 0
      {json::array({window(501, rect(0, 0, 2000, 1200), 3)}), "null"},
  };
  for (const auto& [windows, expected] : cases) {
    set_desktop({{"applications", {example_app(), {{"bundleId", "com.other"}, {"pid", 7}}}}, {"windows", windows}});
    EXPECT_EQ(bounds_for("com.example.app"), expected) << windows.dump();
  }
  EXPECT_EQ(desktop_calls().last_window_options, 17u);
  EXPECT_EQ(desktop_calls().last_window_relative, 0u);

  // Every instance of the application counts; negative origins pass through.
  set_desktop({{"applications", {example_app(10), {{"pid", 12}}, example_app(11)}},
               {"windows",
                {window(12, rect(0, 0, 900, 900)), window(11, rect(-1440, -200, 1440, 900)),
                 window(10, rect(0, 0, 1000, 1000))}}});
  EXPECT_EQ(bounds_for("com.example.app"), "-1440,-200 1440x900");
}

TEST(WindowBounds, SubIdentifiersMatchTheirApplicationButNotTheOtherWayRound) {
  json windows = {window(501, rect(1, 2, 300, 300)), window(502, rect(3, 4, 400, 400))};
  set_desktop({{"applications", {example_app()}}, {"windows", windows}});
  EXPECT_EQ(bounds_for("com.example.app.helper"), "1,2 300x300");
  for (const char* other : {"com.example.apps", "COM.EXAMPLE.APP", "com.example"})
    EXPECT_EQ(bounds_for(other), "null") << other;

  set_desktop({{"applications", {{{"bundleId", "com.example.app.helper"}, {"pid", 502}}}}, {"windows", windows}});
  EXPECT_EQ(bounds_for("com.example.app"), "null");
  EXPECT_EQ(bounds_for("com.example.app.helper"), "3,4 400x400");
}

TEST(WindowBounds, NoApplicationOrNoWindowListAnswersNull) {
  set_desktop({{"applications", {example_app()}}, {"windowListAvailable", false},
               {"windows", {window(501, rect(0, 0, 800, 600))}}});
  EXPECT_EQ(bounds_for("com.example.app"), "null");

  auto before = desktop_calls();
  set_desktop({{"windows", {window(501, rect(0, 0, 800, 600))}}});
  EXPECT_EQ(bounds_for("com.example.app"), "null");
  // Without a matching application the window list is not even read.
  EXPECT_EQ(desktop_calls().window_list, before.window_list);
}

TEST(WindowBounds, IdentifiersThatCannotMatchAskNothingNative) {
  set_desktop({{"applications", {{{"bundleId", ""}, {"pid", 501}}, example_app()}},
               {"windows", {window(501, rect(0, 0, 800, 600))}},
               {"rawAnswers", {{"app_window_bounds", "not json"}}}});
  auto before = desktop_calls();
  long lookups_before = deskcap::testing::scripted_answer_lookups();
  EXPECT_EQ(bounds_for(""), "null");
  EXPECT_EQ(bounds_for("com.example.app\xC3("), "null");  // not UTF-8: no NSString
  EXPECT_EQ(bounds_for("com.\xED\xA0\x80"), "null");      // an encoded surrogate
  EXPECT_EQ(bounds_for(std::string("com.example.app\0x", 17)), "error: Bundle ID contained a null byte");
  auto after = desktop_calls();
  EXPECT_EQ(after.running_applications, before.running_applications);
  EXPECT_EQ(after.window_list, before.window_list);
  EXPECT_EQ(deskcap::testing::scripted_answer_lookups(), lookups_before);
}

TEST(WindowBounds, DocumentsAreReadLenientlyButMustParse) {
  for (const char* text : {"{\"x\":1", "{\"x\":1,\"y\":2,\"width\":3,\"height\":4} x", ""}) {
    set_raw_answer("app_window_bounds", text);
    auto result = app_window_bounds_step("com.example.app", scripted());
    ASSERT_FALSE(result.ok()) << text;
    EXPECT_EQ(result.error().status, deskcap::Status::GenericFailure);
    EXPECT_EQ(result.error().reason.rfind("Malformed window bounds: ", 0), 0u) << result.error().reason;
    EXPECT_GT(result.error().reason.size(), std::string("Malformed window bounds: ").size());
  }
  const std::pair<json, const char*> lenient[] = {
      {"{\"x\":\"7\",\"y\":true,\"width\":-3,\"height\":1.5e2} \n", "0,0 -3x150"}, {"[1,2,3,4]", "0,0 0x0"},
      {nullptr, "null"}};
  for (const auto& [text, expected] : lenient) {
    set_raw_answer("app_window_bounds", text);
    EXPECT_EQ(bounds_for("com.example.app"), expected) << text;
  }
}

}  // namespace
