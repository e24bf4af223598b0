// Display reconfiguration callbacks against a real Xorg (the dummy video
// driver, test/fixtures/xorg-dummy.conf) whose outputs xrandr changes: each
// callback reads the display list through the seam, as its callee does, and
// the test waits for a call that saw what xrandr did. What each xrandr change
// gives the watcher is tested through it (test/js/linux-watch.test.js).
#include <gtest/gtest.h>

#if __has_include(<xcb/xcb.h>)
#include <memory>
#include <string>
#include <vector>

#include "linux_private_xorg.h"
#include "platform/platform.h"

namespace {

namespace platform = deskcap::platform;
using linux_test::Calls;

struct Seen {
  uint32_t display = 0, flags = 0;
  std::string layout;  // "NAME WxH+X+Y" per display, '*' after the main one
};

// The display list as the seam answers it now.
std::string layout() {
  uint32_t ids[16], count = 0;
  platform::get_active_display_list(16, ids, &count);
  std::string out;
  for (uint32_t i = 0; i < count; ++i) {
    platform::Rect b = platform::display_bounds(ids[i]);
    if (!out.empty()) out += ", ";
    out += platform::display_name(ids[i]).value_or("?") + " " + std::to_string(int(b.width)) + "x" +
           std::to_string(int(b.height)) + "+" + std::to_string(int(b.x)) + "+" + std::to_string(int(b.y));
    if (ids[i] == platform::main_display_id()) out += "*";
  }
  return out;
}

void record(uint32_t display, uint32_t flags, void* context) {
  static_cast<Calls<Seen>*>(context)->record(Seen{display, flags, layout()});
}

class DisplayWatch : public linux_test::PrivateXorg {
 protected:
  void TearDown() override {
    for (auto& r : registered_) platform::display_remove_reconfiguration(record, r.get());
    PrivateXorg::TearDown();
  }

  Calls<Seen>* watch() {
    registered_.push_back(std::make_unique<Calls<Seen>>());
    EXPECT_EQ(platform::display_register_reconfiguration(record, registered_.back().get()), 0);
    return registered_.back().get();
  }
  static bool saw(Calls<Seen>& calls, size_t from, const std::string& wanted) {
    return calls.wait_for(from, [&](const Seen& s) { return s.layout == wanted; });
  }
  static std::string last(Calls<Seen>& calls) {
    auto all = calls.all();
    return all.empty() ? "(no call)" : all.back().layout;
  }

  std::vector<std::unique_ptr<Calls<Seen>>> registered_;
};

TEST_F(DisplayWatch, NoCallStartsAfterRemoval) {
  start_server();
  add_mode();
  Calls<Seen>& removed = *watch();
  ASSERT_TRUE(saw(removed, 0, "DUMMY0 1024x768+0+0*"));
  ASSERT_EQ(platform::display_remove_reconfiguration(record, &removed), 0);
  EXPECT_NE(platform::display_remove_reconfiguration(record, &removed), 0);  // no longer known
  size_t before = removed.count();

  ASSERT_EQ(xrandr({"--output", "DUMMY1", "--mode", "dc800x600", "--right-of", "DUMMY0"}), 0);
  Calls<Seen>& other = *watch();
  ASSERT_TRUE(saw(other, 0, "DUMMY0 1024x768+0+0*, DUMMY1 800x600+1024+0"));
  ASSERT_EQ(xrandr({"--output", "DUMMY1", "--off"}), 0);
  ASSERT_TRUE(saw(other, 1, "DUMMY0 1024x768+0+0*"));
  // Both changes reached the one watch there is; none reached the removed callback.
  EXPECT_EQ(removed.count(), before);
}

TEST_F(DisplayWatch, ComesFromAServerThatStartsLaterAndFromTheNextOneOnTheSameDisplay) {
  Calls<Seen>& calls = *watch();  // no server yet: registered all the same
  start_server();
  ASSERT_TRUE(saw(calls, 0, "DUMMY0 1024x768+0+0*")) << last(calls);
  add_mode();
  ASSERT_EQ(xrandr({"--output", "DUMMY1", "--mode", "dc800x600", "--right-of", "DUMMY0"}), 0);
  ASSERT_TRUE(saw(calls, 0, "DUMMY0 1024x768+0+0*, DUMMY1 800x600+1024+0")) << last(calls);

  stop_server();
  size_t from = calls.count();
  start_server(false);
  ASSERT_TRUE(saw(calls, from, "DUMMY0 1024x768+0+0*")) << last(calls);
}

}  // namespace
#endif
