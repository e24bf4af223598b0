// A private Xvfb for each test of the Linux backend, and a connection of the
// test's own to make windows with.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern char** environ;

namespace linux_test {

class PrivateX : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string fd = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24",
                          "-noreset", "-nolisten", "tcp", nullptr};
    if (posix_spawnp(&server_, "Xvfb", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      GTEST_SKIP() << "Xvfb is not installed";
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    setenv("DISPLAY", (":" + number).c_str(), 1);
    c_ = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(c_), 0);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  }
  void TearDown() override {
    if (c_ != nullptr) xcb_disconnect(c_);
    if (server_ > 0) {
      kill(server_, SIGTERM);
      waitpid(server_, nullptr, 0);
    }
  }

  xcb_atom_t atom(const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, std::strlen(name), name), nullptr), &std::free);
    return reply->atom;
  }

  xcb_window_t create(int16_t x, int16_t y, uint16_t width, uint16_t height, uint8_t depth = XCB_COPY_FROM_PARENT,
                      xcb_visualid_t visual = XCB_COPY_FROM_PARENT, uint32_t mask = 0, const uint32_t* values = nullptr) {
    xcb_window_t w = xcb_generate_id(c_);
    xcb_create_window(c_, depth, w, root_, x, y, width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, visual, mask, values);
    xcb_map_window(c_, w);
    return w;
  }
  void sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  // An 8x8 red pointer with its hot spot at (2, 3), for the root and every
  // window that sets none.
  void set_red_cursor() {
    xcb_pixmap_t bits = xcb_generate_id(c_);
    xcb_create_pixmap(c_, 1, bits, root_, 8, 8);
    xcb_gcontext_t gc = xcb_generate_id(c_);
    const uint32_t one[] = {1};
    xcb_create_gc(c_, gc, bits, XCB_GC_FOREGROUND, one);
    xcb_rectangle_t all{0, 0, 8, 8};
    xcb_poly_fill_rectangle(c_, bits, gc, 1, &all);
    xcb_cursor_t cursor = xcb_generate_id(c_);
    xcb_create_cursor(c_, cursor, bits, bits, 0xFFFF, 0, 0, 0, 0, 0, 2, 3);
    const uint32_t value[] = {cursor};
    xcb_change_window_attributes(c_, root_, XCB_CW_CURSOR, value);
    xcb_free_gc(c_, gc);
    xcb_free_pixmap(c_, bits);
  }
  void point_at(int16_t x, int16_t y) { xcb_warp_pointer(c_, XCB_NONE, root_, 0, 0, 0, 0, x, y); }

  pid_t server_ = 0;
  xcb_connection_t* c_ = nullptr;
  xcb_window_t root_ = 0;
};

}  // namespace linux_test
