// The Linux backend on a private Xvfb, with windows made here with xcb (so owned
// by this process): the window list's order, and translucent windows composed.
#include <gtest/gtest.h>

#if __has_include(<xcb/xcb.h>)
#include <cstdlib>
#include <vector>

#include "linux_private_x.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"

namespace {

using deskcap::platform::WindowInfo;

class WindowList : public linux_test::PrivateX {
 protected:
  static std::vector<uint32_t> numbers() {
    std::vector<uint32_t> out;
    auto list = deskcap::platform::window_list_copy(17, 0);
    for (const auto& w : list.value()) out.push_back(w.number);
    return out;
  }
};

TEST_F(WindowList, ListsWindowsFrontToBackWithTheirOwners) {
  xcb_window_t back = create(10, 20, 300, 200);
  xcb_window_t front = create(50, 60, 120, 90);
  sync();

  EXPECT_EQ(numbers(), (std::vector<uint32_t>{front, back}));
  const WindowInfo w = deskcap::platform::window_list_copy(17, 0)->back();
  EXPECT_EQ(w.owner_pid, getpid());  // from the server: nothing set _NET_WM_PID
  EXPECT_EQ(w.layer, 0);
  ASSERT_TRUE(w.has_bounds && w.bounds_valid);
  EXPECT_EQ(std::vector<double>({w.bounds.x, w.bounds.y, w.bounds.width, w.bounds.height}),
            std::vector<double>({10, 20, 300, 200}));

  // A window manager's stacking list, bottom to top, wins over the root's children.
  uint32_t stacking[] = {front, back};
  xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW, 32, 2,
                      stacking);
  sync();
  EXPECT_EQ(numbers(), (std::vector<uint32_t>{back, front}));
}

TEST_F(WindowList, LeavingAWindowOutComposesTranslucentWindowsAsTheServerShowsThem) {
  namespace x11 = deskcap::linux_backend::x11;
  ASSERT_TRUE(x11::reachable());  // connects first, so new windows get their own pixmaps
  xcb_visualid_t argb = 0;
  for (auto d = xcb_screen_allowed_depths_iterator(xcb_setup_roots_iterator(xcb_get_setup(c_)).data);
       d.rem > 0 && argb == 0; xcb_depth_next(&d))
    if (d.data->depth == 32 && d.data->visuals_len > 0) argb = xcb_depth_visuals(d.data)->visual_id;
  if (argb == 0) GTEST_SKIP() << "no 32-bit visual";
  xcb_colormap_t colormap = xcb_generate_id(c_);
  xcb_create_colormap(c_, XCB_COLORMAP_ALLOC_NONE, colormap, root_, argb);

  const uint32_t red[] = {0xFF0000}, glass[] = {0x80000080, 0, colormap};
  create(0, 0, 100, 100, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, red);
  // Half-transparent blue (premultiplied) over the red window's right half.
  create(50, 0, 100, 100, 32, argb, XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL | XCB_CW_COLORMAP, glass);
  xcb_window_t elsewhere = create(300, 300, 50, 50);
  sync();

  deskcap::platform::Rect area{0, 0, 200, 120};
  x11::Grab shown = x11::grab_area(area, {});
  x11::Grab composed = x11::grab_area(area, {elsewhere});
  ASSERT_TRUE(shown.pixels) << shown.error;
  ASSERT_TRUE(composed.pixels) << composed.error;
  auto bgr = [](const x11::Grab& g, int x, int y) {
    const uint8_t* p = g.pixels->data() + y * g.pixels->stride + x * 4;
    return std::vector<int>{p[0], p[1], p[2]};
  };
  EXPECT_NE(bgr(shown, 75, 50), (std::vector<int>{0, 0, 0xFF}));  // the glass is shown over the red
  for (int y = 0; y < 120; y += 7)
    for (int x = 0; x < 200; x += 7) ASSERT_EQ(bgr(composed, x, y), bgr(shown, x, y)) << x << "," << y;
}

}  // namespace
#endif
