#include <gtest/gtest.h>

#include <string>

#include "desktop_worlds.h"
#include "desktop/desktop_steps.h"
#include "boundary/native.h"

namespace {

using namespace desktop_test;
using deskcap::app_window_bounds_step;
using deskcap::Status;
using deskcap::fake::desktop_calls;

json example_app(int pid = 501) { return {{"bundleId", "com.example.app"}, {"pid", pid}}; }

std::optional<deskcap::WindowBounds> bounds_for(const std::string& bundle_id) {
  auto result = app_window_bounds_step(bundle_id, scripted());
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().reason);
  return result.ok() ? result.value() : std::nullopt;
}

void expect_bounds(const std::optional<deskcap::WindowBounds>& b, double x, double y, double w,
                   double h) {
  ASSERT_TRUE(b.has_value());
  EXPECT_EQ(b->x, x);
  EXPECT_EQ(b->y, y);
  EXPECT_EQ(b->width, w);
  EXPECT_EQ(b->height, h);
}

TEST(WindowBounds, MinimumSizeIsInclusiveAndTheFrontmostQualifyingWindowWins) {
  set_desktop({{"applications", {example_app()}},
               {"windows",
                {window(501, rect(0, 0, 199.5, 900)), window(501, rect(0, 0, 900, 149.9)),
                 window(501, rect(10, 20, 200, 150)), window(501, rect(0, 0, 1600, 1000))}}});
  expect_bounds(bounds_for("com.example.app"), 10, 20, 200, 150);
  EXPECT_EQ(desktop_calls().last_window_options, 17u);
  EXPECT_EQ(desktop_calls().last_window_relative, 0u);

  set_desktop({{"applications", {example_app()}},
               {"windows", {window(501, rect(0, 0, 199.5, 900)), window(501, rect(0, 0, 900, 149.9))}}});
  EXPECT_FALSE(bounds_for("com.example.app").has_value());
}

TEST(WindowBounds, SkipsOtherLayersOwnersAndUnreadableBounds) {
  json malformed_height = rect(0, 0, 800, 600);
  malformed_height["height"] = "600";
  set_desktop({{"applications", {example_app(), {{"bundleId", "com.other"}, {"pid", 7}}}},
               {"windows",
                {window(501, rect(0, 0, 2000, 1200), 25),      // status item layer
                 window(501, rect(0, 0, 2000, 1200), -1),
                 window(7, rect(0, 0, 800, 600)),              // another application
                 {{"bounds", rect(0, 0, 800, 600)}},           // no owner
                 {{"ownerPid", 501}},                          // no bounds
                 window(501, "not a dictionary"), window(501, malformed_height),
                 window(501, rect(5, 6, 700, 500), nullptr)}}});  // absent layer counts as 0
  expect_bounds(bounds_for("com.example.app"), 5, 6, 700, 500);

  set_desktop({{"applications", {example_app()}},
               {"windows", {window(501, rect(0, 0, 2000, 1200), 3)}}});
  EXPECT_FALSE(bounds_for("com.example.app").has_value());
}

TEST(WindowBounds, EveryInstanceOfTheApplicationContributes) {
  set_desktop({{"applications", {example_app(10), {{"pid", 12}}, example_app(11)}},
               {"windows",
                {window(12, rect(0, 0, 900, 900)), window(11, rect(-1440, -200, 1440, 900)),
                 window(10, rect(0, 0, 1000, 1000))}}});
  // Negative origins (a display left of and above the main one) pass through.
  expect_bounds(bounds_for("com.example.app"), -1440, -200, 1440, 900);
}

TEST(WindowBounds, SubIdentifiersMatchTheirApplicationButNotTheOtherWayRound) {
  json windows = {window(501, rect(1, 2, 300, 300)), window(502, rect(3, 4, 400, 400))};
  set_desktop({{"applications", {example_app()}}, {"windows", windows}});
  expect_bounds(bounds_for("com.example.app.helper"), 1, 2, 300, 300);
  EXPECT_FALSE(bounds_for("com.example.apps").has_value());
  EXPECT_FALSE(bounds_for("COM.EXAMPLE.APP").has_value());
  EXPECT_FALSE(bounds_for("com.example").has_value());

  set_desktop({{"applications", {{{"bundleId", "com.example.app.helper"}, {"pid", 502}}}},
               {"windows", windows}});
  EXPECT_FALSE(bounds_for("com.example.app").has_value());
  expect_bounds(bounds_for("com.example.app.helper"), 3, 4, 400, 400);
}

TEST(WindowBounds, NoApplicationOrNoWindowListAnswersNull) {
  set_desktop({{"applications", {example_app()}},
               {"windowListAvailable", false},
               {"windows", {window(501, rect(0, 0, 800, 600))}}});
  EXPECT_FALSE(bounds_for("com.example.app").has_value());

  auto before = desktop_calls();
  set_desktop({{"windows", {window(501, rect(0, 0, 800, 600))}}});
  EXPECT_FALSE(bounds_for("com.example.app").has_value());
  // Without a matching application the window list is not even read.
  EXPECT_EQ(desktop_calls().window_list, before.window_list);
}

TEST(WindowBounds, EmptyOrIllFormedIdentifierReadsNothing) {
  set_desktop({{"applications", {{{"bundleId", ""}, {"pid", 501}}, example_app()}},
               {"windows", {window(501, rect(0, 0, 800, 600))}},
               {"rawAnswers", {{"app_window_bounds", "{\"x\":1}"}}}});
  auto before = desktop_calls();
  long lookups_before = deskcap::testing::scripted_answer_lookups();
  EXPECT_FALSE(bounds_for("").has_value());
  EXPECT_FALSE(bounds_for("com.example.app\xC3(").has_value());  // not UTF-8: no NSString
  EXPECT_FALSE(bounds_for("com.\xED\xA0\x80").has_value());      // an encoded surrogate
  auto after = desktop_calls();
  EXPECT_EQ(after.running_applications, before.running_applications);
  EXPECT_EQ(after.window_list, before.window_list);
  EXPECT_EQ(deskcap::testing::scripted_answer_lookups(), lookups_before);
}

TEST(WindowBounds, NulInTheIdentifierFailsBeforeAnyNativeCall) {
  set_desktop({{"applications", {example_app()}},
               {"windows", {window(501, rect(0, 0, 800, 600))}},
               {"rawAnswers", {{"app_window_bounds", "not json"}}}});
  auto before = desktop_calls();
  long lookups_before = deskcap::testing::scripted_answer_lookups();
  auto result = app_window_bounds_step(std::string("com.example.app\0x", 17), scripted());
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().status, Status::GenericFailure);
  EXPECT_EQ(result.error().reason, "Bundle ID contained a null byte");
  auto after = desktop_calls();
  EXPECT_EQ(deskcap::testing::scripted_answer_lookups(), lookups_before);
  EXPECT_EQ(after.running_applications, before.running_applications);
}

TEST(WindowBounds, DocumentsAreReadLenientlyButMustParse) {
  for (const char* text : {"{\"x\":1", "{\"x\":1,\"y\":2,\"width\":3,\"height\":4} x", ""}) {
    set_raw_answer("app_window_bounds", text);
    auto result = app_window_bounds_step("com.example.app", scripted());
    ASSERT_FALSE(result.ok()) << text;
    EXPECT_EQ(result.error().status, Status::GenericFailure);
    EXPECT_EQ(result.error().reason.rfind("Malformed window bounds: ", 0), 0u) << result.error().reason;
    EXPECT_GT(result.error().reason.size(), std::string("Malformed window bounds: ").size());
  }

  set_raw_answer("app_window_bounds", "{\"x\":\"7\",\"y\":true,\"width\":-3,\"height\":1.5e2} \n");
  expect_bounds(bounds_for("com.example.app"), 0, 0, -3, 150);
  set_raw_answer("app_window_bounds", "[1,2,3,4]");
  expect_bounds(bounds_for("com.example.app"), 0, 0, 0, 0);
  set_raw_answer("app_window_bounds", nullptr);
  EXPECT_FALSE(bounds_for("com.example.app").has_value());
}

TEST(WindowBounds, NativeDocumentIsCompactJson) {
  set_desktop({{"applications", {example_app()}},
               {"windows", {window(501, rect(-0.5, 2.25, 1024, 768))}}});
  char* text = app_window_bounds("com.example.app");
  ASSERT_NE(text, nullptr);
  json document = json::parse(text);
  EXPECT_EQ(document, json({{"x", -0.5}, {"y", 2.25}, {"width", 1024.0}, {"height", 768.0}}));
  EXPECT_EQ(std::string(text).find(' '), std::string::npos);
  native_free(text);
}

}  // namespace
