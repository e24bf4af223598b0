// captureDisplay and captureWindow over a rendered fake world: the images,
// their sizes, the crops, and the message of every failure.
#include <atomic>
#include <chrono>
#include <thread>

#include "screen/screen.h"
#include "screen_worlds.h"

namespace {

using namespace screen_test;
using deskcap::CaptureRequest;
using deskcap::Screenshot;
using Strings = std::vector<std::string>;

// A 1x main display of 300x200 points, a 2x one of 200x100 at (-200, 0); front to
// back: 11 blue over 10 red on the main display, 12 green on the other.
json desktop() {
  return {{"displays", {plus(display(1, rect(0, 0, 300, 200), 300, 300, true), {{"background", "#202020"}}),
                        plus(display(2, rect(-200, 0, 200, 100), 400, 200), {{"background", "#101010"}})}},
          {"windows",
           {window(11, rect(40, 40, 60, 60), "#0000ff"), window(10, rect(20, 20, 100, 50), "#ff0000"),
            window(12, rect(-150, 10, 50, 50), "#00ff00")}}};
}

json desktop_with(const char* key, json value) { return plus(desktop(), {{key, std::move(value)}}); }

Screenshot ok(deskcap::Result<Screenshot> r) {
  EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().reason);
  return r.ok() ? r.take() : Screenshot{};
}

std::string failure(deskcap::Result<Screenshot> r) {
  if (r.ok()) return "<resolved>";
  EXPECT_EQ(r.error().status, deskcap::Status::GenericFailure);
  return r.error().reason;
}

// The size both as answered and as the PNG says, then the pixels at `points`.
Strings shot(const Screenshot& png, std::initializer_list<std::pair<uint32_t, uint32_t>> points = {}) {
  Decoded img = decode_png(png.bytes);
  EXPECT_EQ(img.error, "");
  Strings out{std::to_string(png.width) + "x" + std::to_string(png.height),
              std::to_string(img.width) + "x" + std::to_string(img.height)};
  for (auto [x, y] : points) out.push_back(img.at(x, y));
  return out;
}

CaptureRequest request(uint32_t id, std::optional<std::vector<uint32_t>> exclude = std::nullopt,
                       std::optional<deskcap::CropRect> crop = std::nullopt) {
  CaptureRequest r;
  r.display_id = id;
  r.exclude_window_ids = std::move(exclude);
  r.crop = crop;
  return r;
}

json last_screenshot() { return probe()["lastScreenshot"]; }

class DisplayCaptureTest : public LeakCheck {};

TEST_F(DisplayCaptureTest, ComposesWindowsInZOrderAtTheDisplaysScale) {
  set_screen(desktop());
  // Background, red only, blue in front of red, below red and right of blue.
  EXPECT_EQ(shot(ok(deskcap::capture_display(request(1))), {{5, 5}, {25, 25}, {50, 50}, {110, 80}}),
            (Strings{"300x200", "300x200", "#202020ff", "#ff0000ff", "#0000ffff", "#202020ff"}));
  // Window 12 spans points -150..-100 (50..100 on the 2x display), so pixels 100..199.
  EXPECT_EQ(shot(ok(deskcap::capture_display(request(2))), {{99, 40}, {100, 40}, {200, 40}}),
            (Strings{"400x200", "400x200", "#101010ff", "#00ff00ff", "#101010ff"}));
  EXPECT_EQ(last_screenshot()["configuration"], json({{"width", 400}, {"height", 200}, {"showsCursor", false}}));
}

TEST_F(DisplayCaptureTest, SizesTruncateComeFromTheWidthsAloneAndTheImageHasTheLastWord) {
  // 1439.95 x 899.95 points in a 2880/1440 mode: 2879.9 x 1799.9 -> 2879 x 1799.
  json d = display(1, rect(0, 0, 1439.95, 899.95), 2880, 1440, true);
  set_screen({{"displays", {d}}});
  EXPECT_EQ(ok(deskcap::capture_display(request(1))).width, 2879u);
  d["mode"] = nullptr;  // scale 1
  set_screen({{"displays", {d}}, {"screenshot", {{"imageSize", {{"width", 30}, {"height", 20}}}}}});
  EXPECT_EQ(shot(ok(deskcap::capture_display(request(1)))), (Strings{"30x20", "30x20"}));
  EXPECT_EQ(last_screenshot()["configuration"]["height"], 899);
}

TEST_F(DisplayCaptureTest, ExclusionFollowsContentOrderWithoutDuplicates) {
  set_screen(desktop());
  auto excluded = ok(deskcap::capture_display(request(1, std::vector<uint32_t>{10, 999, 11, 10, 11})));
  EXPECT_EQ(shot(excluded, {{25, 25}, {50, 50}}), (Strings{"300x200", "300x200", "#202020ff", "#202020ff"}));
  EXPECT_EQ(last_screenshot()["filter"],
            json({{"kind", "displayExcludingWindows"}, {"displayId", 1}, {"windowIds", {11, 10}}}));
  // Only the front window left out: red shows through where blue was.
  EXPECT_EQ(shot(ok(deskcap::capture_display(request(1, std::vector<uint32_t>{11}))), {{50, 50}})[2], "#ff0000ff");

  // An empty list, an absent one and unknown ids exclude nothing.
  auto absent = decode_png(ok(deskcap::capture_display(request(1))).bytes).rgba;
  EXPECT_EQ(decode_png(ok(deskcap::capture_display(request(1, std::vector<uint32_t>{}))).bytes).rgba, absent);
  EXPECT_EQ(last_screenshot()["filter"]["windowIds"], json::array());
  EXPECT_EQ(decode_png(ok(deskcap::capture_display(request(1, std::vector<uint32_t>{4242}))).bytes).rgba, absent);
}

TEST_F(DisplayCaptureTest, CropTakesPointsRelativeToTheDisplayCutToIt) {
  set_screen(desktop());
  // Points 40..60 x 5..15 of the 2x display: window 12 starts at point 50 across and 10 down.
  auto crop = ok(deskcap::capture_display(request(2, std::nullopt, deskcap::CropRect{40, 5, 20, 10})));
  EXPECT_EQ(shot(crop, {{19, 15}, {20, 15}, {20, 9}, {20, 10}}),
            (Strings{"40x20", "40x20", "#101010ff", "#00ff00ff", "#101010ff", "#00ff00ff"}));
  EXPECT_EQ(last_screenshot()["configuration"]["sourceRect"], json(rect(40, 5, 20, 10)));

  // Only 0..100 x 150..200 is on the display.
  EXPECT_EQ(shot(ok(deskcap::capture_display(request(1, std::nullopt, deskcap::CropRect{-50, 150, 150, 100})))),
            (Strings{"100x50", "100x50"}));
  EXPECT_EQ(last_screenshot()["configuration"]["sourceRect"], json(rect(0, 150, 100, 50)));
  // 2x: 20.4 -> 20 pixels.
  EXPECT_EQ(ok(deskcap::capture_display(request(2, std::nullopt, deskcap::CropRect{0.25, 0, 10.2, 10.2}))).width, 20u);
}

TEST_F(DisplayCaptureTest, CropFailuresComeBeforeTheFrameworkIsAsked) {
  set_screen(desktop());
  const std::pair<deskcap::CropRect, const char*> cases[] = {
      {{300, 0, 10, 10}, "Crop bounds do not intersect display 1"},
      {{-20, -20, 20, 20}, "Crop bounds do not intersect display 1"},
      {{0, 0, 0, 10}, "Crop bounds must have a positive width and height"},
      {{0, 0, 10, -1}, "Crop bounds must have a positive width and height"},
      {{0, 0, 0.5, 10}, "Crop bounds are smaller than one pixel on display 1"},
      {{std::nan(""), 0, 10, 10}, "Crop bounds must be finite numbers"},
      {{0, 0, INFINITY, 10}, "Crop bounds must be finite numbers"},
  };
  for (const auto& [crop, message] : cases)
    EXPECT_EQ(failure(deskcap::capture_display(request(1, std::nullopt, crop))), message);
  long fetches = probe()["contentFetches"];
  failure(deskcap::capture_display(request(1, std::nullopt, deskcap::CropRect{0, std::nan(""), 1, 1})));
  EXPECT_EQ(probe()["contentFetches"], fetches);
}

TEST_F(DisplayCaptureTest, EveryFailureRowOfBothCaptures) {
  const std::string declined = "The user declined TCCs for application, window, display capture";
  const std::string no_pixels = "Failed to extract image data: Internal error: Failed to extract pixel data from CGImage";
  auto empty = [](int width, int height) {
    return plus(desktop_with("pixels", {{"drawEmpty", true}}),
                {{"screenshot", {{"imageSize", {{"width", width}, {"height", height}}}}}});
  };
  // The world, then what captureDisplay(1) and captureWindow(10) reject with ("" when not asked).
  const std::tuple<json, std::string, std::string> rows[] = {
      {desktop_with("content", {{"error", declined}}),
       "Failed to get shareable content: No shareable content available: Content unavailable: " + declined,
       "Failed to get shareable content: No shareable content available: Content unavailable: " + declined},
      {desktop_with("content", {{"outcome", "none"}}),
       "Failed to get shareable content: No shareable content available: Unknown error", ""},
      {desktop_with("content", {{"errorBytes", {0xff, 0xfe}}}), "",
       "Failed to get shareable content: No shareable content available: Unknown error"},
      {desktop_with("screenshot", {{"errorBytes", {'c', 'a', 'f', 0xc3, 0xa9}}}),
       "Screenshot capture failed: Screenshot capture failed: Screenshot error: caf\xC3\xA9", ""},
      {desktop_with("screenshot", {{"error", "The operation couldn\u2019t be completed."}}),
       "Screenshot capture failed: Screenshot capture failed: Screenshot error: The operation couldn\u2019t be completed.",
       "Window screenshot capture failed: Screenshot capture failed: Screenshot error: The operation couldn\u2019t be completed."},
      {desktop_with("screenshot", {{"outcome", "none"}}), "Screenshot capture failed: Screenshot capture failed: Unknown error",
       ""},
      {desktop_with("pixels", {{"fail", true}}), no_pixels, ""},
      {desktop_with("screenshot", {{"imageSize", {{"width", 0}, {"height", 10}}}}), no_pixels, ""},
      {empty(0, 10), "PNG encode failed: Zero width not allowed", ""},
      {empty(5, 0), "", "PNG encode failed: Zero height not allowed"},
  };
  for (const auto& [world, display_message, window_message] : rows) {
    set_screen(world);
    EXPECT_EQ(display_message.empty() ? "" : failure(deskcap::capture_display(request(1))), display_message);
    EXPECT_EQ(window_message.empty() ? "" : failure(deskcap::capture_window(10)), window_message);
  }
  // Ids are found missing only after the content came.
  set_screen(desktop());
  EXPECT_EQ(failure(deskcap::capture_display(request(7))), "Display 7 not found in ScreenCaptureKit");
  EXPECT_EQ(failure(deskcap::capture_window(4000000000u)), "Window 4000000000 not found in ScreenCaptureKit");
  EXPECT_EQ(probe()["contentFetches"], 2);
  EXPECT_EQ(probe()["screenshotsStarted"], 0);
}

TEST_F(DisplayCaptureTest, AnswersInsideTheRequestOrLaterFromAnotherThread) {
  for (const char* content : {"sync", "thread"}) {
    for (const char* screenshot : {"sync", "thread"}) {
      set_screen(plus(desktop(), {{"content", {{"deliver", content}, {"delayMs", 20}}},
                                  {"screenshot", {{"deliver", screenshot}, {"delayMs", 20}}}}));
      EXPECT_EQ(shot(ok(deskcap::capture_display(request(1))), {{50, 50}}), (Strings{"300x200", "300x200", "#0000ffff"}))
          << content << " " << screenshot;
    }
  }
}

class WindowCaptureTest : public LeakCheck {};

TEST_F(WindowCaptureTest, TheWindowAloneAtItsDisplaysScaleOnScreenOrNot) {
  json world = desktop();
  world["windows"][2]["onScreen"] = false;
  set_screen(world);
  // Window 10 is partly covered by 11; on the 1x display.
  EXPECT_EQ(shot(ok(deskcap::capture_window(10)), {{0, 0}, {30, 30}, {99, 49}}),
            (Strings{"100x50", "100x50", "#ff0000ff", "#ff0000ff", "#ff0000ff"}));
  EXPECT_EQ(last_screenshot()["filter"]["kind"], "desktopIndependentWindow");
  EXPECT_EQ(last_screenshot()["configuration"]["showsCursor"], false);
  // Window 12, off screen, on the 2x display.
  EXPECT_EQ(shot(ok(deskcap::capture_window(12)), {{50, 50}}), (Strings{"100x100", "100x100", "#00ff00ff"}));
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
  set_screen({{"displays", {d}}, {"windows", {plus(window(5, rect(0, 0, 100, 100), "#336699"), {{"scale", 1.5}})}}});
  EXPECT_EQ(ok(deskcap::capture_window(5)).width, 150u);
}

}  // namespace

namespace {

// The fake daemon's own charge, asked directly, without the captures' gate:
// requests made back to back all overlap.
TEST(FakeScreenshotDaemonTest, ChargesEachScreenshotForTheOthersInFlightAsItStarts) {
  set_screen({{"screenshot", {{"delayMs", 30}, {"overlapPenaltyMs", 7}}}});
  std::atomic<int> done{0};
  auto count = [](void* context, deskcap::platform::Object*, const char*) {
    static_cast<std::atomic<int>*>(context)->fetch_add(1);
  };
  for (int i = 0; i < 3; ++i) deskcap::platform::capture_image(nullptr, nullptr, &done, count);
  while (done.load() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  json p = probe();
  EXPECT_EQ(std::vector<json>({p["maxScreenshotsInFlight"], p["overlapPenaltyMs"], p["screenshotOrder"]}),
            std::vector<json>({3, 21.0, {0, 0, 0}}));  // 0 + 7 + 2 x 7
}

}  // namespace
