// Painting the fake screenshots, and the CoreGraphics image calls over them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/fake/screen_fake.h"
#include "platform/shared/jpeg_shared.h"

namespace deskcap::fake::screen {
namespace {

// Point coordinate of the centre of each pixel along one axis.
std::vector<double> centres(double origin, double extent, size_t pixels) {
  std::vector<double> c(pixels);
  double step = pixels ? extent / static_cast<double>(pixels) : 0;
  for (size_t i = 0; i < pixels; ++i) c[i] = origin + (static_cast<double>(i) + 0.5) * step;
  return c;
}

// Pixels whose centre lies in [from, to), as a half-open index range.
std::pair<size_t, size_t> covered(const std::vector<double>& c, double from, double to) {
  auto first = std::lower_bound(c.begin(), c.end(), from);
  auto last = std::lower_bound(c.begin(), c.end(), to);
  return {static_cast<size_t>(first - c.begin()), static_cast<size_t>(last - c.begin())};
}

uint8_t premultiply(uint8_t v, uint8_t a) { return static_cast<uint8_t>((v * a + 127) / 255); }

// Source-over of a straight colour onto a premultiplied BGRA pixel.
void paint(uint8_t* px, const Colour& c) {
  if (c.a == 255) {
    px[0] = c.b;
    px[1] = c.g;
    px[2] = c.r;
    px[3] = 255;
    return;
  }
  uint8_t src[4] = {premultiply(c.b, c.a), premultiply(c.g, c.a), premultiply(c.r, c.a), c.a};
  for (int i = 0; i < 4; ++i)
    px[i] = static_cast<uint8_t>(src[i] + (px[i] * (255 - c.a) + 127) / 255);
}

const Colour& colour_at(const WindowSpec& w, double x, double y) {
  const Pattern& p = w.pattern;
  if (p.kind == Pattern::Kind::None) return w.fill;
  auto cell = [&](double v) { return static_cast<long long>(std::floor(v / p.size)); };
  long long k = p.kind == Pattern::Kind::Checker ? cell(x - w.frame.x) + cell(y - w.frame.y)
                                                 : cell(x - w.frame.x);
  return (k & 1) ? p.colour : w.fill;
}

// Paints the window wherever a pixel centre (in the window's own desktop
// coordinates) falls inside its frame.
void paint_window(std::vector<uint8_t>& bgra, size_t width, const WindowSpec& w,
                  const std::vector<double>& xs, const std::vector<double>& ys) {
  auto [x0, x1] = covered(xs, w.frame.x, w.frame.x + w.frame.width);
  auto [y0, y1] = covered(ys, w.frame.y, w.frame.y + w.frame.height);
  for (size_t y = y0; y < y1; ++y)
    for (size_t x = x0; x < x1; ++x) paint(&bgra[(y * width + x) * 4], colour_at(w, xs[x], ys[y]));
}

}  // namespace

std::vector<uint8_t> render_display(const DisplaySpec& display,
                                    const std::vector<const WindowSpec*>& windows_front_to_back,
                                    const platform::Rect& source, size_t width, size_t height) {
  std::vector<uint8_t> bgra(width * height * 4);
  Colour bg = display.background;
  for (size_t i = 0; i < width * height; ++i) {
    uint8_t* px = &bgra[i * 4];
    px[0] = premultiply(bg.b, bg.a);
    px[1] = premultiply(bg.g, bg.a);
    px[2] = premultiply(bg.r, bg.a);
    px[3] = bg.a;
  }
  // Windows live in desktop coordinates; the source is relative to the display.
  auto xs = centres(display.bounds.x + source.x, source.width, width);
  auto ys = centres(display.bounds.y + source.y, source.height, height);
  for (auto it = windows_front_to_back.rbegin(); it != windows_front_to_back.rend(); ++it)
    paint_window(bgra, width, **it, xs, ys);
  return bgra;
}

std::vector<uint8_t> render_window(const WindowSpec& window, const platform::Rect& source,
                                   size_t width, size_t height) {
  std::vector<uint8_t> bgra(width * height * 4, 0);
  auto xs = centres(window.frame.x + source.x, source.width, width);
  auto ys = centres(window.frame.y + source.y, source.height, height);
  paint_window(bgra, width, window, xs, ys);
  return bgra;
}

}  // namespace deskcap::fake::screen

namespace deskcap::platform {

size_t image_width(Image* image) { return image ? image->width : 0; }
size_t image_height(Image* image) { return image ? image->height : 0; }

bool draw_image_rows_rgba(Image* image, size_t width, size_t height, size_t first, size_t count,
                          uint8_t* out) {
  auto m = fake::screen::model();
  if (image == nullptr || m->pixels_fail) return false;
  // CoreGraphics makes no bitmap context without pixels, unless the world
  // pretends it does (to reach the PNG encoder's refusal).
  if (width == 0 || height == 0 || count == 0) return m->pixels_draw_empty && count == 0;
  if (image->width != width || image->height != height || image->bgra.size() != width * height * 4 ||
      out == nullptr || first > height || count > height - first)
    return false;
  // B and R trade places, a word at a time (the compiler vectorises this),
  // as quickly as CoreGraphics would: the capture path's cost stays deskcap's.
  const uint8_t* in = image->bgra.data() + first * width * 4;
  for (size_t i = 0, n = count * width * 4; i < n; i += 4) {
    uint32_t p;
    std::memcpy(&p, in + i, 4);
    p = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);  // little-endian hosts
    std::memcpy(out + i, &p, 4);
  }
  return true;
}

// Straight from the BGRA pixels, no RGBA copy first; with the alpha byte
// dropped, premultiplied colour is the image over black.
std::optional<std::string> image_encode_jpeg(Image* image, int quality, std::vector<uint8_t>* out) {
  if (image == nullptr || image->bgra.size() != image->width * image->height * 4)
    return std::string("JPEG encode failed: no image");
  return shared::encode_jpeg_bgrx(image->bgra.data(), image->width, image->height, image->width * 4,
                                  quality, out);
}

}  // namespace deskcap::platform
