// The one path from a filter and a configuration to pixels, for screenshots
// and stream frames alike, and a display stream's kept frame redrawn where
// it changed.
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

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

// One pixel per point: the display's area, or its part the crop names.
platform::Rect display_area(platform::Rect area, const CaptureSettings& settings) {
  if (settings.source_rect) {
    area.x += settings.source_rect->x;
    area.y += settings.source_rect->y;
    area.width = settings.source_rect->width;
    area.height = settings.source_rect->height;
  }
  area.width = grabbed_size(settings.width, area.width);
  area.height = grabbed_size(settings.height, area.height);
  return area;
}

// The configured size where it is smaller than the grab's.
uint32_t output_size(size_t configured, uint32_t grabbed) {
  return configured != 0 ? std::min<uint32_t>(grabbed, uint32_t(configured)) : grabbed;
}

std::optional<x11::CursorImage> pointer_if(const CaptureSettings& c) {
  return c.shows_cursor ? x11::cursor_image() : std::nullopt;
}

// The grab as the settings ask: the cursor drawn at full size, in place (a
// stream would pay for a copy at every frame), then scaled down to the
// configured size when that is smaller.
std::unique_ptr<x11::Pixels> finish(std::unique_ptr<x11::Pixels> pixels, const CaptureSettings& c,
                                    int64_t left, int64_t top) {
  auto cursor = pointer_if(c);
  if (uint8_t* bytes = pixels->writable(); cursor && bytes != nullptr) draw_cursor(*pixels, bytes, *cursor, left, top);
  uint32_t width = output_size(c.width, pixels->width);
  uint32_t height = output_size(c.height, pixels->height);
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
    const platform::Rect area = display_area(content.display->bounds, settings);
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

namespace {

using platform::shared::Region;

bool same(const platform::Rect& a, const platform::Rect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
bool same(const std::optional<x11::CursorImage>& a, const std::optional<x11::CursorImage>& b) {
  if (!a || !b) return !a && !b;
  return a->x == b->x && a->y == b->y && a->width == b->width && a->height == b->height && a->argb == b->argb;
}

// SCStream's pixel buffers have their alpha; a depth-24 grab's fourth byte is padding.
void make_opaque(x11::OwnedPixels& frame, const Region& part) {
  for (size_t y = part.y; y < part.y + part.height; ++y) {
    uint8_t* row = frame.bytes.data() + y * frame.stride + part.x * 4;
    for (size_t x = 0; x < part.width; ++x) row[x * 4 + 3] = 0xFF;
  }
}

}  // namespace

DisplayFrame::Update DisplayFrame::update(const FilterContent& content, const CaptureSettings& settings,
                                          const x11::SourceWatch::Seen& seen, std::string* error) {
  const platform::Rect area = display_area(content.display->bounds, settings);
  if (!drawn_ || seen.anywhere || !same(area, asked_)) return redraw_whole(area, settings, error);

  // The pointer is drawn in: where it was and where it is changed too.
  std::optional<x11::CursorImage> cursor = pointer_if(settings);
  std::vector<x11::Area> parts = seen.damaged;
  if (!same(cursor, cursor_)) {
    for (const auto* at : {&cursor_, &cursor})
      if (*at) parts.push_back(x11::Area{(*at)->x, (*at)->y, int32_t((*at)->width), int32_t((*at)->height)});
  }
  const platform::shared::ScaleSizes sizes{size_t(source_.width), size_t(source_.height), frame_.width,
                                           frame_.height};
  std::vector<Region> outputs;
  size_t covered = 0;
  for (const x11::Area& part : parts) {
    int64_t left = std::max<int64_t>(part.x, source_.x), top = std::max<int64_t>(part.y, source_.y);
    int64_t right = std::min<int64_t>(int64_t(part.x) + part.width, int64_t(source_.x) + source_.width);
    int64_t bottom = std::min<int64_t>(int64_t(part.y) + part.height, int64_t(source_.y) + source_.height);
    if (right <= left || bottom <= top) continue;
    Region output = platform::shared::area_outputs_reading(
        sizes, Region{size_t(left - source_.x), size_t(top - source_.y), size_t(right - left), size_t(bottom - top)});
    if (output.width == 0 || output.height == 0) continue;
    outputs.push_back(output);
    covered += output.width * output.height;
  }
  if (outputs.empty()) {
    cursor_ = std::move(cursor);
    return Update::Unchanged;
  }
  // Past half the frame, one grab of everything costs less than many.
  if (covered * 2 > size_t(frame_.width) * frame_.height) return redraw_whole(area, settings, error);
  for (const Region& output : outputs) {
    // The screen changed under the frame: it starts again.
    if (!redraw(output, cursor)) return redraw_whole(area, settings, error);
  }
  cursor_ = std::move(cursor);
  return Update::Changed;
}

// The source that `output` reads, grabbed alone with the pointer drawn in,
// then scaled into the frame.
bool DisplayFrame::redraw(const Region& output, const std::optional<x11::CursorImage>& cursor) {
  const platform::shared::ScaleSizes sizes{size_t(source_.width), size_t(source_.height), frame_.width,
                                           frame_.height};
  const Region read = platform::shared::area_source_read(sizes, output);
  const int64_t left = source_.x + int64_t(read.x), top = source_.y + int64_t(read.y);
  x11::Grab grab =
      x11::grab_area(platform::Rect{double(left), double(top), double(read.width), double(read.height)}, {});
  if (!grab.pixels || grab.pixels->width != read.width || grab.pixels->height != read.height) return false;
  x11::Pixels& pixels = *grab.pixels;
  if (uint8_t* bytes = pixels.writable(); cursor && bytes != nullptr) draw_cursor(pixels, bytes, *cursor, left, top);
  if (!platform::shared::scale_down_area_region(pixels.data(), read, pixels.stride, frame_.bytes.data(), frame_.stride,
                                                sizes, output))
    return false;
  if (!pixels.alpha) make_opaque(frame_, output);
  return true;
}

DisplayFrame::Update DisplayFrame::redraw_whole(const platform::Rect& area, const CaptureSettings& settings,
                                                std::string* error) {
  drawn_ = false;
  x11::Grab grab = x11::grab_area(area, {});
  if (!grab.pixels) {
    *error = grab.error;
    return Update::Failed;
  }
  x11::Pixels& pixels = *grab.pixels;
  // The grab is clipped to the screen, whose origin is the root's.
  const int32_t left = std::max<int32_t>(0, int32_t(area.x)), top = std::max<int32_t>(0, int32_t(area.y));
  std::optional<x11::CursorImage> cursor = pointer_if(settings);
  if (uint8_t* bytes = pixels.writable(); cursor && bytes != nullptr) draw_cursor(pixels, bytes, *cursor, left, top);
  const uint32_t width = output_size(settings.width, pixels.width);
  const uint32_t height = output_size(settings.height, pixels.height);
  // Allocated again only when the size changes: fresh pages cost a fault each.
  if (width != frame_.width || height != frame_.height) {
    frame_.width = width;
    frame_.height = height;
    frame_.stride = size_t(width) * 4;
    frame_.bytes.resize(frame_.stride * height);
  }
  if (!platform::shared::scale_down_area(pixels.data(), pixels.width, pixels.height, pixels.stride,
                                         frame_.bytes.data(), width, height, frame_.stride)) {
    *error = "the image could not be scaled";
    return Update::Failed;
  }
  if (!pixels.alpha) make_opaque(frame_, Region{0, 0, width, height});
  frame_.alpha = true;
  drawn_ = true;
  asked_ = area;
  source_ = x11::Area{left, top, int32_t(pixels.width), int32_t(pixels.height)};
  cursor_ = std::move(cursor);
  return Update::Changed;
}

}  // namespace deskcap::linux_backend
