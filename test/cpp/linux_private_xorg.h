// A private Xorg for each test, with the dummy video driver
// (test/fixtures/xorg-dummy.conf) whose outputs xrandr changes while it runs.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "linux_processes.h"

namespace linux_test {

class PrivateXorg : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!installed("Xorg")) GTEST_SKIP() << "Xorg is not installed";
    char dir[] = "/tmp/deskcap-xorg-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    use_display(free_display());
  }
  void TearDown() override {
    server_.reset();
    // Kept after a failure: the server's log is there.
    if (!dir_.empty() && !HasFailure()) run({"rm", "-rf", dir_});
  }

  // On this test's display; a test that has no server yet moves to another
  // number when one running alongside took it first.
  void start_server(bool may_move = true) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      server_ = std::make_unique<Child>(std::vector<std::string>{
          "Xorg", display_, "-config", DESKCAP_SOURCE_DIR "/test/fixtures/xorg-dummy.conf", "-noreset",
          "-nolisten", "tcp", "-logfile", dir_ + "/xorg.log"});
      // Answering, and ours: the lock names the server that holds the number.
      bool up = eventually([&] {
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
    return run(args);
  }
  // An 800x600 mode for DUMMY1, which starts off.
  void add_mode() {
    ASSERT_EQ(xrandr({"--newmode", "dc800x600", "40.00", "800", "840", "968", "1056", "600", "601", "605",
                      "628", "+hsync", "+vsync"}),
              0);
    ASSERT_EQ(xrandr({"--addmode", "DUMMY1", "dc800x600"}), 0);
  }

  std::string dir_, display_;
  std::unique_ptr<Child> server_;

 private:
  void use_display(int number) {
    display_ = ":" + std::to_string(number);
    setenv("DISPLAY", display_.c_str(), 1);
  }

  // A display number nobody holds now. Tests running alongside search from
  // their own places, high enough that Xvfb -displayfd (which takes the lowest
  // free number) keeps out of the way.
  static int free_display() {
    struct stat st;
    for (int n = 71 + getpid() % 64;; ++n) {
      std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (stat(lock.c_str(), &st) != 0 && stat(socket.c_str(), &st) != 0) return n;
    }
  }

  // The pid in the server lock of `display` (":N"), 0 without one.
  static pid_t lock_owner(const std::string& display) {
    std::ifstream lock("/tmp/.X" + display.substr(1) + "-lock");
    long pid = 0;
    return lock >> pid ? pid_t(pid) : 0;
  }
};

}  // namespace linux_test
