// Display reconfiguration callbacks against a real Xorg (the dummy video
// driver, test/fixtures/xorg-dummy.conf) whose outputs xrandr changes: each
// callback reads the display list through the seam, as its callee does, and
// the test waits for a call that saw what xrandr did. What each xrandr change
// gives the watcher is tested through it (test/js/linux-watch.test.js).
#include <gtest/gtest.h>

#if __has_include(<xcb/xcb.h>)
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "linux_processes.h"
#include "platform/platform.h"

namespace {

namespace platform = deskcap::platform;
using linux_test::Calls;
using linux_test::Child;

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

// A display number nobody holds now. Tests running alongside search from
// their own places, high enough that Xvfb -displayfd (which takes the lowest
// free number) keeps out of the way.
int free_display() {
  struct stat st;
  for (int n = 71 + getpid() % 64;; ++n) {
    std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
    if (stat(lock.c_str(), &st) != 0 && stat(socket.c_str(), &st) != 0) return n;
  }
}

// The pid in the server lock of `display` (":N"), 0 without one.
pid_t lock_owner(const std::string& display) {
  std::ifstream lock("/tmp/.X" + display.substr(1) + "-lock");
  long pid = 0;
  return lock >> pid ? pid_t(pid) : 0;
}

class DisplayWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!linux_test::installed("Xorg")) GTEST_SKIP() << "Xorg is not installed";
    char dir[] = "/tmp/deskcap-xorg-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    use_display(free_display());
  }
  void use_display(int number) {
    display_ = ":" + std::to_string(number);
    setenv("DISPLAY", display_.c_str(), 1);
  }
  void TearDown() override {
    for (auto& r : registered_) platform::display_remove_reconfiguration(record, r.get());
    server_.reset();
    // Kept after a failure: the server's log is there.
    if (!dir_.empty() && !HasFailure()) linux_test::run({"rm", "-rf", dir_});
  }

  // On this test's display; a test that has no server yet moves to another
  // number when one running alongside took it first.
  void start_server(bool may_move = true) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      server_ = std::make_unique<Child>(std::vector<std::string>{
          "Xorg", display_, "-config", DESKCAP_SOURCE_DIR "/test/fixtures/xorg-dummy.conf", "-noreset",
          "-nolisten", "tcp", "-logfile", dir_ + "/xorg.log"});
      // Answering, and ours: the lock names the server that holds the number.
      bool up = linux_test::eventually([&] {
        return !server_->running() || (lock_owner(display_) == server_->pid() && xrandr({"--current"}) == 0);
      });
      if (up && server_->running()) return;
      ASSERT_TRUE(may_move) << "Xorg did not start again on " << display_ << "; see " << dir_ << "/xorg.log";
      use_display(free_display());
    }
    FAIL() << "Xorg did not start; see " << dir_ << "/xorg.log";
  }
  void stop_server() { server_.reset(); }

  int xrandr(std::vector<std::string> args) {
    args.insert(args.begin(), {"xrandr", "-d", display_});
    return linux_test::run(args);
  }
  void add_mode() {
    ASSERT_EQ(xrandr({"--newmode", "dc800x600", "40.00", "800", "840", "968", "1056", "600", "601", "605",
                      "628", "+hsync", "+vsync"}),
              0);
    ASSERT_EQ(xrandr({"--addmode", "DUMMY1", "dc800x600"}), 0);
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

  std::string dir_, display_;
  std::unique_ptr<Child> server_;
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
