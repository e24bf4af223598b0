// The capture bridge: completion slot, completion delivery, error texts,
// content flags, filter errors and the pixel extraction's size check.
#include <chrono>
#include <thread>

#include "screen/bridge.h"
#include "screen/capture_error.h"
#include "screen/completion_slot.h"
#include "screen_worlds.h"

namespace {

using namespace screen_test;
using namespace deskcap::capture_bridge;
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

TEST_F(CompletionSlotTest, CompletionBeforeOrAfterTheWaitIsTakenOnceAndALaterOneReplacesIt) {
  // Before: the handler runs inside the request, the waiter finds done set.
  CompletionSlot* slot = CompletionSlot::create();
  Object* object = new_object();
  deliver_completion(slot, object, nullptr);
  EXPECT_EQ(std::get<Ref<Object>>(slot->wait_and_take()).get(), object);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(slot->wait_and_take()));
  slot->drop();

  // After: the waiter is already blocked when another thread delivers.
  slot = CompletionSlot::create();
  std::thread late([slot] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    deliver_completion(slot, nullptr, "Screenshot error: late");
  });
  EXPECT_EQ(text_of(slot->wait_and_take()), "Screenshot error: late");
  slot->drop();
  late.join();

  long before = deskcap::fake::live_objects();
  slot = CompletionSlot::create();
  Object* second = new_object();
  slot->complete(Ref<Object>(new_object()));
  slot->complete(Ref<Object>(second));
  EXPECT_EQ(deskcap::fake::live_objects(), before + 1) << "the first object was not released";
  EXPECT_EQ(std::get<Ref<Object>>(slot->wait_and_take()).get(), second);
  slot->drop();
  slot->drop();
}

TEST_F(CompletionSlotTest, HandlerAfterTheCallerHasGoneFreesTheSlotAndItsObject) {
  // Under ASan a use after free or a leak here fails the run.
  for (int i = 0; i < 50; ++i) {
    CompletionSlot* slot = CompletionSlot::create();
    slot->drop();  // the caller gives up before anything came
    std::thread([slot] { deliver_completion(slot, new_object(), nullptr); }).join();
  }
}

TEST(CompletionDelivery, TextsThatAreNotUtf8AndEmptyCompletions) {
  const std::pair<const char*, const char*> cases[] = {
      {"Content unavailable: caf\xC3\xA9", "Content unavailable: caf\xC3\xA9"},
      {"Content unavailable: \xFF\xFE", "Unknown error"},
      {"Screenshot error: \xE2\x82", "Unknown error"},  // cut short
      {"", ""}, {nullptr, "Unknown error"},
  };
  for (const auto& [text, expected] : cases) {
    CompletionSlot* slot = CompletionSlot::create();
    deliver_completion(slot, nullptr, text);
    EXPECT_EQ(text_of(slot->wait_and_take()), expected);
    slot->drop();
  }
}

class BridgeTest : public LeakCheck {};

TEST_F(BridgeTest, ContentFlagsAndFiltersThatCannotBeBuilt) {
  set_screen({{"displays", {display(1, rect(0, 0, 10, 10), 10, 10)}},
              {"windows", {plus(window(2, rect(0, 0, 10, 10), "#ffffff"), {{"onScreen", false}}),
                           plus(window(3, rect(0, 0, 10, 10), "#ffffff"), {{"desktop", true}})}}});
  auto count = [](bool exclude_desktop, bool on_screen_only) {
    auto c = fetch_shareable_content(exclude_desktop, on_screen_only);
    return c.ok() ? content_windows(c.value().get()).size() : size_t{99};
  };
  EXPECT_EQ(std::vector<size_t>({count(false, false), count(true, false), count(false, true), count(true, true)}),
            std::vector<size_t>({2, 1, 1, 0}));
  set_screen({{"displays", {display(1, rect(0, 0, 10, 10), 10, 10)}}});
  EXPECT_EQ(count(false, false), 0u);

  auto empty = build_filter(FilterDescription{});
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().reason,
            "SCContentFilterBuilder: No filter type set. Call .display() or .window() before .build()");
  auto nil = build_filter(DesktopIndependentWindow{nullptr});
  ASSERT_FALSE(nil.ok());
  EXPECT_EQ(nil.error().reason.rfind("Null pointer: ", 0), 0u);
}

TEST_F(BridgeTest, PixelsOfSizesThatOverflowOrOfNothingAreNotDrawable) {
  set_screen(json::object());
  for (auto [w, h] : {std::pair<size_t, size_t>{SIZE_MAX / 2, 1}, {SIZE_MAX / 8, 3}, {1u << 20, SIZE_MAX / 4},
                      {0, 5}, {5, 0}}) {
    Ref<deskcap::platform::Image> image(new deskcap::platform::Image());
    image.get()->width = w;
    image.get()->height = h;
    EXPECT_FALSE(pixels_drawable(image.get())) << w << "x" << h;
  }
  EXPECT_EQ(pixels_failed().text(), "Internal error: Failed to extract pixel data from CGImage");
}

}  // namespace
