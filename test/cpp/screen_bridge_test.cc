// The capture bridge: completion slot, completion delivery, error texts,
// filter building and pixel extraction.
#include <chrono>
#include <thread>

#include "screen/bridge.h"
#include "screen/capture_error.h"
#include "screen/completion_slot.h"
#include "screen_worlds.h"

namespace {

using namespace screen_test;
using deskcap::capture_bridge::CaptureError;
using deskcap::capture_bridge::CompletionSlot;
using deskcap::capture_bridge::SlotResult;
using deskcap::platform::Object;
using deskcap::platform::Ref;
using Kind = CaptureError::Kind;

// A bare framework object for the slot to hold.
Object* new_object() {
  return reinterpret_cast<Object*>(static_cast<deskcap::fake::FakeObject*>(new deskcap::fake::FakeObject()));
}

std::string text_of(const SlotResult& r) {
  auto* s = std::get_if<std::string>(&r);
  return s ? *s : "<not text>";
}

class CompletionSlotTest : public LeakCheck {};

TEST_F(CompletionSlotTest, CompletionBeforeAndAfterTheWait) {
  // Before: the handler runs inside the request, the waiter finds done set.
  CompletionSlot* slot = CompletionSlot::create();
  Object* object = new_object();
  deskcap::capture_bridge::deliver_completion(slot, object, nullptr);
  SlotResult r = slot->wait_and_take();
  slot->drop();
  ASSERT_TRUE(std::holds_alternative<Ref<Object>>(r));
  EXPECT_EQ(std::get<Ref<Object>>(r).get(), object);

  // After: the waiter is already blocked when another thread delivers.
  slot = CompletionSlot::create();
  std::thread late([slot] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    deskcap::capture_bridge::deliver_completion(slot, nullptr, "Screenshot error: late");
  });
  r = slot->wait_and_take();
  slot->drop();
  late.join();
  EXPECT_EQ(text_of(r), "Screenshot error: late");
}

TEST_F(CompletionSlotTest, LaterDeliveryReplacesAndReleasesTheEarlier) {
  long before = deskcap::fake::live_objects();
  CompletionSlot* slot = CompletionSlot::create();
  Object* first = new_object();
  Object* second = new_object();
  // Two completions: the slot has three owners here, the test keeping one extra.
  slot->complete(Ref<Object>(first));
  EXPECT_EQ(deskcap::fake::live_objects(), before + 2);
  slot->complete(Ref<Object>(second));
  EXPECT_EQ(deskcap::fake::live_objects(), before + 1) << "the first object was not released";
  SlotResult r = slot->wait_and_take();
  EXPECT_EQ(std::get<Ref<Object>>(r).get(), second);
  slot->drop();
  slot->drop();
}

TEST_F(CompletionSlotTest, TakingTwiceGivesNothingTheSecondTime) {
  CompletionSlot* slot = CompletionSlot::create();
  slot->complete(std::string("x"));
  EXPECT_EQ(text_of(slot->wait_and_take()), "x");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(slot->wait_and_take()));
  slot->drop();
  slot->drop();
}

TEST_F(CompletionSlotTest, HandlerAfterTheCallerHasGoneFreesTheSlotAndItsObject) {
  // Run under ASan: a use after free or a leak here fails the build-c-asan run.
  for (int i = 0; i < 50; ++i) {
    CompletionSlot* slot = CompletionSlot::create();
    slot->drop();  // the caller gives up before anything came
    std::thread handler([slot] { deskcap::capture_bridge::deliver_completion(slot, new_object(), nullptr); });
    handler.join();
  }
}

TEST(CompletionDelivery, TextsThatAreNotUtf8AndEmptyCompletions) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"Content unavailable: caf\xC3\xA9", "Content unavailable: caf\xC3\xA9"},
      {"Content unavailable: \xFF\xFE", "Unknown error"},
      {"Screenshot error: \xE2\x82", "Unknown error"},    // cut short
      {"", ""},
  };
  for (const auto& c : cases) {
    CompletionSlot* slot = CompletionSlot::create();
    deskcap::capture_bridge::deliver_completion(slot, nullptr, c.text);
    EXPECT_EQ(text_of(slot->wait_and_take()), c.expected);
    slot->drop();
  }
  CompletionSlot* slot = CompletionSlot::create();
  deskcap::capture_bridge::deliver_completion(slot, nullptr, nullptr);
  EXPECT_EQ(text_of(slot->wait_and_take()), "Unknown error");
  slot->drop();
}

// The kinds whose texts are more than "<prefix>: <detail>".
TEST(CaptureErrorText, TemplatesWithMoreThanADetail) {
  struct Case {
    CaptureError error;
    const char* text;
  } cases[] = {
      {CaptureError::invalid_dimension("width", 0), "Invalid dimension: width must be greater than 0 (got 0)"},
      {{Kind::PermissionDenied, "t"},
       "Permission denied: t. Check System Preferences \xE2\x86\x92 Security & Privacy \xE2\x86\x92 Screen Recording"},
      {CaptureError::feature_not_available("captureScreenshot", "26.0"),
       "Feature not available: captureScreenshot requires macOS 26.0+"},
      {CaptureError::os_error(-50, "paramErr"), "OS error -50: paramErr"},
      {CaptureError::stream_error_with_code(deskcap::capture_bridge::StreamErrorCode::UserDeclined, "no"),
       "SCStream error (User declined screen recording): no"},
      {CaptureError::stream_error_with_code(deskcap::capture_bridge::StreamErrorCode::SystemStoppedStream,
                                            std::nullopt),
       "SCStream error: System stopped the stream"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error.text(), c.text);

  auto e = CaptureError(Kind::Internal, "x").to_error("Failed to extract image data: ");
  EXPECT_EQ(e.status, deskcap::Status::GenericFailure);
  EXPECT_EQ(e.reason, "Failed to extract image data: Internal error: x");

  // The stream error codes run from -3801 (user declined) to -3821.
  using deskcap::capture_bridge::stream_error_code_from_raw;
  EXPECT_EQ(stream_error_code_from_raw(-3801), deskcap::capture_bridge::StreamErrorCode::UserDeclined);
  EXPECT_EQ(stream_error_code_from_raw(-3821), deskcap::capture_bridge::StreamErrorCode::SystemStoppedStream);
  EXPECT_FALSE(stream_error_code_from_raw(-3800).has_value());
  EXPECT_FALSE(stream_error_code_from_raw(-3822).has_value());
}

class BridgeTest : public LeakCheck {};

TEST_F(BridgeTest, ContentListsAndTheFilterVariants) {
  set_screen({{"displays", {display(1, rect(0, 0, 100, 50), 100, 100, true)}},
              {"windows",
               {window(10, rect(0, 0, 50, 50), "#ff0000", 7), window(11, rect(50, 0, 50, 50), "#00ff00", 8)}}});
  auto fetched = deskcap::capture_bridge::fetch_shareable_content(false, false);
  ASSERT_TRUE(fetched.ok()) << fetched.error().text();
  auto content = fetched.take();
  auto displays = deskcap::capture_bridge::content_displays(content.get());
  auto windows = deskcap::capture_bridge::content_windows(content.get());
  ASSERT_EQ(displays.size(), 1u);
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(deskcap::platform::sc_window_id(windows[1].get()), 11u);

  using namespace deskcap::capture_bridge;
  auto* d = displays[0].get();
  auto* red = windows[0].get();
  // What each variant shows at the centres of the left (red) and right (green) halves.
  struct Case {
    FilterDescription description;
    const char* left;
    const char* right;
  } cases[] = {
      {DisplayExcludingWindows{d, {red}}, "#000000ff", "#00ff00ff"},
      {DisplayExcludingWindows{d, {}}, "#ff0000ff", "#00ff00ff"},
  };
  for (auto& c : cases) {
    auto filter = build_filter(c.description);
    ASSERT_TRUE(filter.ok());
    Ref<deskcap::platform::StreamConfiguration> config(deskcap::platform::configuration_create());
    auto shot = take_screenshot(filter.value().get(), config.get());
    ASSERT_TRUE(shot.ok()) << shot.error().text();
    auto pixels = extract_pixels(shot.value().get());
    ASSERT_TRUE(pixels.ok());
    ASSERT_EQ(pixels.value().width, 100u);
    auto hex = [&](size_t x) {
      const uint8_t* p = &pixels.value().bytes[(25 * 100 + x) * 4];
      char s[10];
      std::snprintf(s, sizeof s, "#%02x%02x%02x%02x", p[0], p[1], p[2], p[3]);
      return std::string(s);
    };
    EXPECT_EQ(hex(25), c.left) << c.description.index();
    EXPECT_EQ(hex(75), c.right) << c.description.index();
  }

  auto empty = build_filter(FilterDescription{});
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().reason,
            "SCContentFilterBuilder: No filter type set. Call .display() or .window() before .build()");
  auto nil = build_filter(DesktopIndependentWindow{nullptr});
  ASSERT_FALSE(nil.ok());
  EXPECT_EQ(nil.error().reason.rfind("Null pointer: ", 0), 0u);
}

TEST_F(BridgeTest, ContentFlagsAndAnEmptyWindowList) {
  json off = window(2, rect(0, 0, 10, 10), "#ffffff");
  off["onScreen"] = false;
  json desk = window(3, rect(0, 0, 10, 10), "#ffffff");
  desk["desktop"] = true;
  set_screen({{"displays", {display(1, rect(0, 0, 10, 10), 10, 10)}}, {"windows", {off, desk}}});
  auto count = [](bool exclude_desktop, bool on_screen_only) {
    auto c = deskcap::capture_bridge::fetch_shareable_content(exclude_desktop, on_screen_only);
    return c.ok() ? deskcap::capture_bridge::content_windows(c.value().get()).size() : size_t{99};
  };
  EXPECT_EQ(count(false, false), 2u);
  EXPECT_EQ(count(true, false), 1u);
  EXPECT_EQ(count(false, true), 1u);
  EXPECT_EQ(count(true, true), 0u);

  set_screen({{"displays", {display(1, rect(0, 0, 10, 10), 10, 10)}}});
  EXPECT_EQ(count(false, false), 0u);
}

TEST_F(BridgeTest, PixelExtractionConvertsBgraToRgbaTopRowFirst) {
  auto* image = new deskcap::platform::Image();
  image->width = 3;
  image->height = 2;
  // BGRA, as the screenshot stores it: top-left pixel is (R 1, G 2, B 3, A 255).
  image->bgra = {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255, 15, 14, 13, 255, 18, 17, 16, 128};
  Ref<deskcap::platform::Image> held(image);
  set_screen(json::object());
  {
    // Holds a capture slot until the end of this scope.
    auto pixels = deskcap::capture_bridge::extract_pixels(image);
    ASSERT_TRUE(pixels.ok());
    ASSERT_EQ(pixels.value().size, 24u);
    std::vector<uint8_t> got(pixels.value().bytes, pixels.value().bytes + 24);
    EXPECT_EQ(got, (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255, 13, 14,
                                         15, 255, 16, 17, 18, 128}));
  }

  set_screen({{"pixels", {{"fail", true}}}});
  auto failed = deskcap::capture_bridge::extract_pixels(image);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().text(), "Internal error: Failed to extract pixel data from CGImage");
}

TEST_F(BridgeTest, PixelExtractionRefusesSizesThatOverflow) {
  set_screen(json::object());
  for (auto [w, h] : {std::pair<size_t, size_t>{SIZE_MAX / 2, 1}, {SIZE_MAX / 8, 3}, {1u << 20, SIZE_MAX / 4}}) {
    Ref<deskcap::platform::Image> image(new deskcap::platform::Image());
    image.get()->width = w;
    image.get()->height = h;
    auto r = deskcap::capture_bridge::extract_pixels(image.get());
    ASSERT_FALSE(r.ok()) << w << "x" << h;
    EXPECT_EQ(r.error().kind(), Kind::Internal);
  }
}

}  // namespace
