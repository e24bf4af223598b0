// captureDisplay and captureWindow over a rendered fake world: the images,
// their sizes, the crops, and the message of every failure.
#include <thread>

#include "screen/screen.h"
#include "screen_worlds.h"

namespace {

using namespace screen_test;
using deskcap::CaptureRequest;
using deskcap::CapturedPng;

// A 2x display of 200x100 points at (-200, 0), and a 1x main display of
// 300x200 points at (0, 0). Windows, front to back: 11 blue over 10 red on the
// main display; 12 green on the left display.
json desktop() {
  json left = display(2, rect(-200, 0, 200, 100), 400, 200);
  left["background"] = "#101010";
  json main = display(1, rect(0, 0, 300, 200), 300, 300, true);
  main["background"] = "#202020";
  return {{"displays", {main, left}},
          {"windows",
           {window(11, rect(40, 40, 60, 60), "#0000ff"), window(10, rect(20, 20, 100, 50), "#ff0000"),
            window(12, rect(-150, 10, 50, 50), "#00ff00")}}};
}

CapturedPng ok(deskcap::Result<CapturedPng> r) {
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().reason);
  return r.ok() ? r.take() : CapturedPng{};
}

std::string failure(deskcap::Result<CapturedPng> r) {
  if (r.ok()) return "<resolved>";
  EXPECT_EQ(r.error().status, deskcap::Status::GenericFailure);
  return r.error().reason;
}

CaptureRequest request(uint32_t id, std::optional<std::vector<uint32_t>> exclude = std::nullopt) {
  CaptureRequest r;
  r.display_id = id;
  r.exclude_window_ids = std::move(exclude);
  return r;
}

class DisplayCaptureTest : public LeakCheck {};

TEST_F(DisplayCaptureTest, ComposesWindowsInZOrder) {
  set_screen(desktop());
  auto png = ok(deskcap::capture_display(request(1)));
  auto img = decode_png(png.png);
  ASSERT_EQ(img.error, "");
  EXPECT_EQ(png.width, 300u);
  EXPECT_EQ(png.height, 200u);
  EXPECT_EQ(img.width, 300u);
  EXPECT_EQ(img.height, 200u);
  EXPECT_EQ(img.at(5, 5), "#202020ff");     // background
  EXPECT_EQ(img.at(25, 25), "#ff0000ff");   // red only
  EXPECT_EQ(img.at(50, 50), "#0000ffff");   // blue in front of red
  EXPECT_EQ(img.at(110, 80), "#202020ff");  // below red, right of blue
}

TEST_F(DisplayCaptureTest, RetinaDisplayAtTwiceThePointSize) {
  set_screen(desktop());
  auto png = ok(deskcap::capture_display(request(2)));
  auto img = decode_png(png.png);
  ASSERT_EQ(img.error, "");
  EXPECT_EQ(png.width, 400u);
  EXPECT_EQ(png.height, 200u);
  // Window 12 spans points -150..-100 (50..100 on the display), so pixels 100..199.
  EXPECT_EQ(img.at(99, 40), "#101010ff");
  EXPECT_EQ(img.at(100, 40), "#00ff00ff");
  EXPECT_EQ(img.at(200, 40), "#101010ff");
  auto asked = probe()["lastScreenshot"]["configuration"];
  EXPECT_EQ(asked["width"], 400);
  EXPECT_EQ(asked["height"], 200);
  EXPECT_EQ(asked["showsCursor"], false);
  EXPECT_FALSE(asked.contains("sourceRect"));
}

TEST_F(DisplayCaptureTest, SizesTruncateAndComeFromTheWidthsAlone) {
  // 1439.95 x 899.95 points in a 2880/1440 mode: 2879.9 x 1799.9 -> 2879 x 1799.
  json d = display(1, rect(0, 0, 1439.95, 899.95), 2880, 1440, true);
  set_screen({{"displays", {d}}});
  auto png = ok(deskcap::capture_display(request(1)));
  EXPECT_EQ(png.width, 2879u);
  EXPECT_EQ(png.height, 1799u);

  // No mode: scale 1.
  d["mode"] = nullptr;
  set_screen({{"displays", {d}}});
  png = ok(deskcap::capture_display(request(1)));
  EXPECT_EQ(png.width, 1439u);
  EXPECT_EQ(png.height, 899u);
}

TEST_F(DisplayCaptureTest, TheResultSizeIsTheReturnedImages) {
  json world = desktop();
  world["screenshot"] = {{"imageSize", {{"width", 30}, {"height", 20}}}};
  set_screen(world);
  auto png = ok(deskcap::capture_display(request(1)));
  auto img = decode_png(png.png);
  EXPECT_EQ(png.width, 30u);
  EXPECT_EQ(png.height, 20u);
  EXPECT_EQ(img.width, 30u);
  EXPECT_EQ(img.height, 20u);
  EXPECT_EQ(probe()["lastScreenshot"]["configuration"]["width"], 300);
}

TEST_F(DisplayCaptureTest, ExclusionFollowsContentOrderWithoutDuplicates) {
  set_screen(desktop());
  auto png = ok(deskcap::capture_display(request(1, std::vector<uint32_t>{10, 999, 11, 10, 11})));
  auto img = decode_png(png.png);
  EXPECT_EQ(img.at(25, 25), "#202020ff");
  EXPECT_EQ(img.at(50, 50), "#202020ff");
  auto filter = probe()["lastScreenshot"]["filter"];
  EXPECT_EQ(filter["kind"], "displayExcludingWindows");
  EXPECT_EQ(filter["displayId"], 1);
  EXPECT_EQ(filter["windowIds"], json({11, 10}));

  // Only the front window left out: red shows through where blue was.
  png = ok(deskcap::capture_display(request(1, std::vector<uint32_t>{11})));
  EXPECT_EQ(decode_png(png.png).at(50, 50), "#ff0000ff");
}

TEST_F(DisplayCaptureTest, EmptyAndAbsentExclusionGiveTheSameImage) {
  set_screen(desktop());
  auto absent = ok(deskcap::capture_display(request(1)));
  auto empty = ok(deskcap::capture_display(request(1, std::vector<uint32_t>{})));
  auto unknown = ok(deskcap::capture_display(request(1, std::vector<uint32_t>{4242})));
  EXPECT_EQ(decode_png(absent.png).rgba, decode_png(empty.png).rgba);
  EXPECT_EQ(decode_png(absent.png).rgba, decode_png(unknown.png).rgba);
  EXPECT_EQ(probe()["lastScreenshot"]["filter"]["windowIds"], json::array());
}

TEST_F(DisplayCaptureTest, CropTakesPointsRelativeToTheDisplay) {
  set_screen(desktop());
  CaptureRequest r = request(2);
  // Points 40..60 x 5..15 of the 2x display: window 12 starts at point 50.
  r.crop = deskcap::CropRect{40, 5, 20, 10};
  auto png = ok(deskcap::capture_display(r));
  auto img = decode_png(png.png);
  ASSERT_EQ(img.error, "");
  EXPECT_EQ(png.width, 40u);
  EXPECT_EQ(png.height, 20u);
  EXPECT_EQ(img.at(19, 15), "#101010ff");
  EXPECT_EQ(img.at(20, 15), "#00ff00ff");
  EXPECT_EQ(img.at(20, 9), "#101010ff");   // above the window's top at point 10
  EXPECT_EQ(img.at(20, 10), "#00ff00ff");
  EXPECT_EQ(probe()["lastScreenshot"]["configuration"]["sourceRect"], json(rect(40, 5, 20, 10)));
}

TEST_F(DisplayCaptureTest, CropIsCutToTheDisplay) {
  set_screen(desktop());
  CaptureRequest r = request(1);
  r.crop = deskcap::CropRect{-50, 150, 150, 100};  // only 0..100 x 150..200 is on the display
  auto png = ok(deskcap::capture_display(r));
  EXPECT_EQ(png.width, 100u);
  EXPECT_EQ(png.height, 50u);
  EXPECT_EQ(probe()["lastScreenshot"]["configuration"]["sourceRect"], json(rect(0, 150, 100, 50)));

  r = request(2);
  r.crop = deskcap::CropRect{0.25, 0, 10.2, 10.2};  // 2x: 20.4 -> 20 pixels
  png = ok(deskcap::capture_display(r));
  EXPECT_EQ(png.width, 20u);
  EXPECT_EQ(png.height, 20u);
}

TEST_F(DisplayCaptureTest, CropFailures) {
  set_screen(desktop());
  struct Case {
    deskcap::CropRect crop;
    const char* message;
  } cases[] = {
      {{300, 0, 10, 10}, "Crop bounds do not intersect display 1"},
      {{-20, -20, 20, 20}, "Crop bounds do not intersect display 1"},
      {{0, 0, 0, 10}, "Crop bounds must have a positive width and height"},
      {{0, 0, 10, -1}, "Crop bounds must have a positive width and height"},
      {{0, 0, 0.5, 10}, "Crop bounds are smaller than one pixel on display 1"},
      {{std::nan(""), 0, 10, 10}, "Crop bounds must be finite numbers"},
      {{0, 0, INFINITY, 10}, "Crop bounds must be finite numbers"},
  };
  for (const auto& c : cases) {
    CaptureRequest r = request(1);
    r.crop = c.crop;
    EXPECT_EQ(failure(deskcap::capture_display(r)), c.message);
  }
  // A bad crop is refused before the framework is asked anything.
  long fetches = probe()["contentFetches"];
  CaptureRequest r = request(1);
  r.crop = deskcap::CropRect{0, std::nan(""), 1, 1};
  failure(deskcap::capture_display(r));
  EXPECT_EQ(probe()["contentFetches"], fetches);
}

TEST_F(DisplayCaptureTest, EveryFailureRow) {
  json base = desktop();
  auto with = [&](const char* key, json value) {
    json w = base;
    w[key] = std::move(value);
    set_screen(w);
  };
  with("content", {{"error", "The user declined TCCs for application, window, display capture"}});
  EXPECT_EQ(failure(deskcap::capture_display(request(1))),
            "Failed to get shareable content: No shareable content available: Content unavailable: "
            "The user declined TCCs for application, window, display capture");
  with("content", {{"outcome", "none"}});
  EXPECT_EQ(failure(deskcap::capture_display(request(1))),
            "Failed to get shareable content: No shareable content available: Unknown error");

  set_screen(base);
  EXPECT_EQ(failure(deskcap::capture_display(request(7))), "Display 7 not found in ScreenCaptureKit");
  EXPECT_EQ(probe()["contentFetches"], 1);  // found missing only after the content came
  EXPECT_EQ(probe()["screenshotsStarted"], 0);

  with("screenshot", {{"error", "The operation couldn\u2019t be completed."}});
  EXPECT_EQ(failure(deskcap::capture_display(request(1))),
            "Screenshot capture failed: Screenshot capture failed: Screenshot error: "
            "The operation couldn\u2019t be completed.");
  with("screenshot", {{"outcome", "none"}});
  EXPECT_EQ(failure(deskcap::capture_display(request(1))),
            "Screenshot capture failed: Screenshot capture failed: Unknown error");
  with("pixels", {{"fail", true}});
  EXPECT_EQ(failure(deskcap::capture_display(request(1))),
            "Failed to extract image data: Internal error: Failed to extract pixel data from CGImage");

  base["screenshot"] = {{"imageSize", {{"width", 0}, {"height", 10}}}};
  set_screen(base);
  EXPECT_EQ(failure(deskcap::capture_display(request(1))),
            "Failed to extract image data: Internal error: Failed to extract pixel data from CGImage");
  with("pixels", {{"drawEmpty", true}});
  EXPECT_EQ(failure(deskcap::capture_display(request(1))), "PNG encode failed: Zero width not allowed");
}

class WindowCaptureTest : public LeakCheck {};

TEST_F(WindowCaptureTest, TheWindowAloneAtItsDisplaysScale) {
  set_screen(desktop());
  // Window 10 is partly covered by 11; on the 1x display.
  auto png = ok(deskcap::capture_window(10));
  auto img = decode_png(png.png);
  EXPECT_EQ(png.width, 100u);
  EXPECT_EQ(png.height, 50u);
  for (auto [x, y] : {std::pair{0u, 0u}, {30u, 30u}, {99u, 49u}}) EXPECT_EQ(img.at(x, y), "#ff0000ff");
  EXPECT_EQ(probe()["lastScreenshot"]["filter"]["kind"], "desktopIndependentWindow");
  EXPECT_EQ(probe()["lastScreenshot"]["configuration"]["showsCursor"], false);

  // Window 12 is on the 2x display.
  png = ok(deskcap::capture_window(12));
  EXPECT_EQ(png.width, 100u);
  EXPECT_EQ(png.height, 100u);
  EXPECT_EQ(decode_png(png.png).at(50, 50), "#00ff00ff");
}

TEST_F(WindowCaptureTest, SizesRoundHalfAwayFromZero) {
  json d = display(1, rect(0, 0, 2000, 2000), 4000, 2000, true);
  struct Case {
    double width, height;
    uint32_t pixels_w, pixels_h;
  } cases[] = {{800, 600, 1600, 1200}, {640.25, 480.2, 1281, 960}, {639.75, 0.3, 1280, 1}, {10.2, 10.3, 20, 21}};
  for (const auto& c : cases) {
    set_screen({{"displays", {d}}, {"windows", {window(5, rect(10, 10, c.width, c.height), "#336699")}}});
    auto png = ok(deskcap::capture_window(5));
    EXPECT_EQ(png.width, c.pixels_w) << c.width;
    EXPECT_EQ(png.height, c.pixels_h) << c.height;
  }
  // The filter's own scale wins over the display's.
  json w = window(5, rect(0, 0, 100, 100), "#336699");
  w["scale"] = 1.5;
  set_screen({{"displays", {d}}, {"windows", {w}}});
  EXPECT_EQ(ok(deskcap::capture_window(5)).width, 150u);
}

TEST_F(WindowCaptureTest, OffScreenWindowsAreFound) {
  json w = window(5, rect(0, 0, 10, 10), "#336699");
  w["onScreen"] = false;
  set_screen({{"displays", {display(1, rect(0, 0, 100, 100), 100, 100, true)}}, {"windows", {w}}});
  EXPECT_EQ(ok(deskcap::capture_window(5)).width, 10u);
}

TEST_F(WindowCaptureTest, EveryFailureRow) {
  json base = desktop();
  auto with = [&](const char* key, json value) {
    json w = base;
    w[key] = std::move(value);
    set_screen(w);
  };
  with("content", {{"error", "denied"}});
  EXPECT_EQ(failure(deskcap::capture_window(10)),
            "Failed to get shareable content: No shareable content available: Content unavailable: denied");
  set_screen(base);
  EXPECT_EQ(failure(deskcap::capture_window(4000000000u)), "Window 4000000000 not found in ScreenCaptureKit");
  EXPECT_EQ(probe()["contentFetches"], 1);
  with("screenshot", {{"error", "boom"}});
  EXPECT_EQ(failure(deskcap::capture_window(10)),
            "Window screenshot capture failed: Screenshot capture failed: Screenshot error: boom");
  base["screenshot"] = {{"imageSize", {{"width", 5}, {"height", 0}}}};
  with("pixels", {{"drawEmpty", true}});
  EXPECT_EQ(failure(deskcap::capture_window(10)), "PNG encode failed: Zero height not allowed");
}

}  // namespace
