// The one path from a filter and a configuration to pixels, for screenshots
// and stream frames alike.
#include <algorithm>
#include <memory>

#include "platform/linux/screen_linux.h"
#include "platform/shared/image_scale_shared.h"

namespace deskcap::linux_backend {
namespace {

// The configured size, or the source's own when that is larger or none is
// configured: X11 does not scale, so a smaller image is grabbed whole and
// shrunk here.
uint32_t grabbed_size(size_t configured, double own) {
  uint32_t natural = own > 0 ? static_cast<uint32_t>(own) : 0;
  return configured == 0 || configured < natural ? natural : static_cast<uint32_t>(configured);
}

// Source-over of the pointer's premultiplied pixels onto `bytes` (the
// image's own), its top-left corner at (left, top) in root coordinates.
void draw_cursor(const x11::Pixels& image, uint8_t* bytes, const x11::CursorImage& cursor, int64_t left,
                 int64_t top) {
  const int channels = image.alpha ? 4 : 3;
  for (uint32_t row = 0; row < cursor.height; ++row) {
    int64_t y = cursor.y + int64_t(row) - top;
    if (y < 0 || y >= int64_t(image.height)) continue;
    for (uint32_t column = 0; column < cursor.width; ++column) {
      int64_t x = cursor.x + int64_t(column) - left;
      if (x < 0 || x >= int64_t(image.width)) continue;
      uint32_t c = cursor.argb[size_t(row) * cursor.width + column];
      const uint8_t from[4] = {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24)};
      if (from[3] == 0 && (c & 0xFFFFFFu) == 0) continue;
      uint8_t* to = bytes + size_t(y) * image.stride + size_t(x) * 4;
      const unsigned keep = 255u - from[3];
      for (int k = 0; k < channels; ++k)
        to[k] = uint8_t(std::min(255u, from[k] + (to[k] * keep + 127) / 255));
    }
  }
}

// The grab as the settings ask: the cursor drawn at full size, in place (a
// stream would pay for a copy at every frame), then scaled down to the
// configured size when that is smaller.
std::unique_ptr<x11::Pixels> finish(std::unique_ptr<x11::Pixels> pixels, const CaptureSettings& c,
                                    int64_t left, int64_t top) {
  if (c.shows_cursor) {
    auto cursor = x11::cursor_image();
    if (uint8_t* bytes = pixels->writable(); cursor && bytes != nullptr)
      draw_cursor(*pixels, bytes, *cursor, left, top);
  }
  uint32_t width = c.width != 0 ? std::min<uint32_t>(pixels->width, uint32_t(c.width)) : pixels->width;
  uint32_t height = c.height != 0 ? std::min<uint32_t>(pixels->height, uint32_t(c.height)) : pixels->height;
  if (width == pixels->width && height == pixels->height) return pixels;
  auto scaled = std::make_unique<x11::OwnedPixels>(width, height);
  scaled->alpha = pixels->alpha;
  if (!platform::shared::scale_down_area(pixels->data(), pixels->width, pixels->height, pixels->stride,
                                         scaled->bytes.data(), width, height, scaled->stride))
    return nullptr;
  return scaled;
}

}  // namespace

x11::Grab grab_content(const FilterContent& content, const CaptureSettings& settings) {
  x11::Grab grab;
  int64_t left = 0, top = 0;  // the grab's origin in root coordinates
  if (content.window) {
    const platform::Rect& frame = content.window->frame;
    grab = x11::grab_window(*content.window, grabbed_size(settings.width, frame.width),
                            grabbed_size(settings.height, frame.height));
    left = static_cast<int64_t>(frame.x);
    top = static_cast<int64_t>(frame.y);
  } else if (content.display) {
    // One pixel per point: the area is the display's, or its part the crop names.
    platform::Rect area = content.display->bounds;
    if (settings.source_rect) {
      area.x += settings.source_rect->x;
      area.y += settings.source_rect->y;
      area.width = settings.source_rect->width;
      area.height = settings.source_rect->height;
    }
    area.width = grabbed_size(settings.width, area.width);
    area.height = grabbed_size(settings.height, area.height);
    grab = x11::grab_area(area, content.left_out);
    // The grab is clipped to the screen, whose origin is the root's.
    left = std::max<int64_t>(0, static_cast<int64_t>(area.x));
    top = std::max<int64_t>(0, static_cast<int64_t>(area.y));
  } else {
    grab.error = "the filter names no content";
    return grab;
  }
  if (!grab.pixels) return grab;
  grab.pixels = finish(std::move(grab.pixels), settings, left, top);
  if (!grab.pixels) grab.error = "the image could not be scaled";
  return grab;
}

}  // namespace deskcap::linux_backend
