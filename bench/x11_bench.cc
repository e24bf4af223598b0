// captureDisplay on a real X server against the PNG encode of the same pixels
// in the same run: paints a desktop-like picture over the whole screen, then
// prints the median of each and their ratio. Needs DISPLAY (x11_bench.sh
// starts a 2880x1800 Xvfb for it).
#include <poll.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "screen/png_encoder.h"
#include "screen/screen.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

uint32_t next(uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// Windows of text-like rows of glyphs over a gradient, in B G R X.
std::vector<uint8_t> desktop(uint32_t width, uint32_t height) {
  std::vector<uint8_t> p(size_t(width) * height * 4);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* q = &p[(size_t(y) * width + x) * 4];
      q[0] = uint8_t(120 + y * 60 / height), q[1] = uint8_t(70 + x * 40 / width), q[2] = 40, q[3] = 255;
    }
  uint32_t seed = 2463534242u;
  for (int w = 0; w < 6; ++w) {
    uint32_t wx = next(seed) % (width * 2 / 3), wy = next(seed) % (height * 2 / 3);
    uint32_t ww = std::min(width - wx, 600 + next(seed) % 900), wh = std::min(height - wy, 400 + next(seed) % 700);
    for (uint32_t y = wy; y < wy + wh; ++y)
      for (uint32_t x = wx; x < wx + ww; ++x) {
        uint8_t* q = &p[(size_t(y) * width + x) * 4];
        bool glyph = (y - wy) % 24 < 14 && (x - wx) % 11 < 7 && (next(seed) & 3) == 0;
        uint8_t v = glyph ? uint8_t(40 + (next(seed) & 63)) : 245;
        q[0] = q[1] = q[2] = v;
      }
  }
  return p;
}

}  // namespace

// With --hold: paints, says "painted", and keeps the window up until its
// input closes, for a benchmark in another process; with --animate it also
// redraws a block of it every 25 ms meanwhile, as a video or a cursor would.
int main(int argc, char** argv) {
  const bool animate = argc > 1 && std::strcmp(argv[1], "--animate") == 0;
  const bool hold = animate || (argc > 1 && std::strcmp(argv[1], "--hold") == 0);
  int runs = argc > 1 && !hold ? std::max(1, std::atoi(argv[1])) : 9;
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "x11_bench: no X server at DISPLAY\n");
    return 1;
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  uint32_t width = screen->width_in_pixels, height = screen->height_in_pixels;
  xcb_window_t window = xcb_generate_id(c);
  const uint32_t values[] = {1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, width, height, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(c, window);
  xcb_gcontext_t gc = xcb_generate_id(c);
  xcb_create_gc(c, gc, window, 0, nullptr);
  std::vector<uint8_t> picture = desktop(width, height);
  for (uint32_t y = 0; y < height; y += 16) {
    uint32_t rows = std::min<uint32_t>(16, height - y);
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, width, rows, 0, y, 0, screen->root_depth,
                  width * rows * 4, &picture[size_t(y) * width * 4]);
  }
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  if (hold) {
    std::printf("painted\n");
    std::fflush(stdout);
    constexpr uint32_t kBlock = 200;  // one request: 160 KB, under the core protocol's limit
    std::vector<uint8_t> block(size_t(kBlock) * kBlock * 4);
    for (uint32_t frame = 0;; ++frame) {
      pollfd input{0, POLLIN, 0};
      if (poll(&input, 1, animate ? 25 : -1) > 0) {
        char byte;
        if (read(0, &byte, 1) <= 0) break;
        continue;
      }
      for (size_t i = 0; i < block.size(); i += 4) block[i] = block[i + 1] = uint8_t(frame * 8 + i / 4096);
      uint32_t x = (frame * 37) % (width - kBlock), y = (frame * 23) % (height - kBlock);
      xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc, kBlock, kBlock, x, y, 0, screen->root_depth,
                    uint32_t(block.size()), block.data());
      xcb_flush(c);
    }
    xcb_disconnect(c);
    return 0;
  }

  auto displays = deskcap::get_displays();
  if (!displays.ok() || displays.value().empty()) {
    std::fprintf(stderr, "x11_bench: no display listed\n");
    return 1;
  }
  deskcap::CaptureRequest request;
  request.display_id = displays.value()[0].id;
  std::vector<double> capture_ms;
  for (int i = 0; i <= runs; ++i) {
    auto start = Clock::now();
    auto shot = deskcap::capture_display(request);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!shot.ok()) {
      std::fprintf(stderr, "x11_bench: %s\n", shot.error().reason.c_str());
      return 1;
    }
    if (i > 0) capture_ms.push_back(ms);  // the first run connects and warms up
  }

  // The same pixels, as the capture hands them to the encoder (R G B A).
  std::vector<uint8_t> rgba(picture.size());
  for (size_t i = 0; i < picture.size(); i += 4) {
    rgba[i] = picture[i + 2], rgba[i + 1] = picture[i + 1], rgba[i + 2] = picture[i], rgba[i + 3] = 255;
  }
  std::vector<double> encode_ms;
  for (int i = 0; i < runs; ++i) {
    std::vector<uint8_t> png;
    auto start = Clock::now();
    (void)deskcap::encode_png(rgba.data(), rgba.size(), width, height, &png);
    encode_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  double capture = median(capture_ms), encode = median(encode_ms);
  std::printf("x11 %ux%u: captureDisplay %.1f ms, encode %.1f ms (median of %d)\n", width, height, capture,
              encode, runs);
  std::printf("x11 capture vs encode: %.2f\n", capture / encode);
  xcb_disconnect(c);
  return 0;
}
