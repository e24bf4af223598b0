// Displays, windows and their pixels from the X server: RandR for the outputs,
// the root window (MIT-SHM when the server shares memory) for what is shown,
// Composite's window pixmaps for each window's own contents.
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/linux/x11_connection_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/linux/x11_calls_linux.h"  // last: it renames xcb's functions

namespace deskcap::linux_backend::x11 {
namespace {

constexpr uint32_t kParentRelative = 1;  // XCB_BACK_PIXMAP_PARENT_RELATIVE

// ---- pixel holders ---------------------------------------------------------

class ReplyPixels : public Pixels {
 public:
  explicit ReplyPixels(Reply<xcb_get_image_reply_t> reply) : reply_(std::move(reply)) {}
  const uint8_t* data() const override { return xcb_get_image_data(reply_.get()); }
  uint8_t* writable() override { return xcb_get_image_data(reply_.get()); }

 private:
  Reply<xcb_get_image_reply_t> reply_;
};

// A shared-memory segment the server writes into. One is kept between
// captures: fresh memory costs a page fault per 4 KiB on first touch.
struct Segment {
  std::shared_ptr<Connection> x;
  xcb_shm_seg_t seg = 0;
  uint8_t* address = nullptr;
  size_t size = 0;
  ~Segment() {
    if (seg != 0) xcb_shm_detach(x->c, seg);
    if (address != nullptr) shmdt(address);
  }
};

struct SegmentCache {
  std::mutex lock;
  std::unique_ptr<Segment> spare;
};
SegmentCache& segment_cache() {
  static SegmentCache& cache = *new SegmentCache;
  return cache;
}

std::unique_ptr<Segment> take_segment(const std::shared_ptr<Connection>& x, size_t size) {
  {
    SegmentCache& cache = segment_cache();
    std::lock_guard<std::mutex> lock(cache.lock);
    if (cache.spare && cache.spare->x == x && cache.spare->size >= size) return std::move(cache.spare);
  }
  auto segment = std::make_unique<Segment>();
  segment->x = x;
  int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
  if (id < 0) return nullptr;
  void* address = shmat(id, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(id, IPC_RMID, nullptr);
    return nullptr;
  }
  segment->address = static_cast<uint8_t*>(address);
  segment->size = size;
  xcb_shm_seg_t seg = xcb_generate_id(x->c);
  Reply<xcb_generic_error_t> error(xcb_request_check(x->c, xcb_shm_attach_checked(x->c, seg, id, 0)));
  // Gone once both sides detach; nothing is left behind should the process die.
  shmctl(id, IPC_RMID, nullptr);
  if (error) return nullptr;
  segment->seg = seg;
  return segment;
}

class ShmPixels : public Pixels {
 public:
  explicit ShmPixels(std::unique_ptr<Segment> segment) : segment_(std::move(segment)) {}
  ~ShmPixels() override {
    SegmentCache& cache = segment_cache();
    std::lock_guard<std::mutex> lock(cache.lock);
    if (!cache.spare || cache.spare->x != segment_->x || cache.spare->size < segment_->size)
      cache.spare = std::move(segment_);
  }
  const uint8_t* data() const override { return segment_->address; }
  uint8_t* writable() override { return segment_->address; }

 private:
  std::unique_ptr<Segment> segment_;
};

// ---- reading back ------------------------------------------------------------

bool readable_depth(const Connection& x, uint8_t depth) {
  return (depth == 24 && x.bgra_24) || (depth == 32 && x.bgra_32);
}

std::unique_ptr<Pixels> get_image(const Connection& x, xcb_drawable_t drawable, int16_t left,
                                  int16_t top, uint16_t width, uint16_t height, bool alpha) {
  Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
      x.c, xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, left, top, width, height, ~0u),
      nullptr));
  if (!reply || size_t(xcb_get_image_data_length(reply.get())) < size_t(width) * height * 4)
    return nullptr;
  auto pixels = std::make_unique<ReplyPixels>(std::move(reply));
  pixels->width = width;
  pixels->height = height;
  pixels->stride = size_t(width) * 4;
  pixels->alpha = alpha;
  return pixels;
}

std::unique_ptr<Pixels> get_image_shm(const std::shared_ptr<Connection>& x, xcb_drawable_t drawable,
                                      int16_t left, int16_t top, uint16_t width, uint16_t height) {
  auto segment = take_segment(x, size_t(width) * height * 4);
  if (!segment) return nullptr;
  Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
      x->c,
      xcb_shm_get_image(x->c, drawable, left, top, width, height, ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                        segment->seg, 0),
      nullptr));
  if (!reply) return nullptr;
  auto pixels = std::make_unique<ShmPixels>(std::move(segment));
  pixels->width = width;
  pixels->height = height;
  pixels->stride = size_t(width) * 4;
  return pixels;
}

struct Box {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

Box intersect(const Box& a, const Box& b) {
  int32_t left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  int32_t right = std::min(a.x + a.width, b.x + b.width);
  int32_t bottom = std::min(a.y + a.height, b.y + b.height);
  return Box{left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

// Draws `source` at (left, top) of `target`: blended with its premultiplied
// alpha when `blend`, copied otherwise.
void draw_over(OwnedPixels& target, const Pixels& source, int32_t left, int32_t top, bool blend) {
  for (uint32_t row = 0; row < source.height; ++row) {
    const uint8_t* from = source.data() + row * source.stride;
    uint8_t* to = target.bytes.data() + (size_t(top) + row) * target.stride + size_t(left) * 4;
    if (!source.alpha || !blend) {
      for (uint32_t i = 0; i < source.width; ++i, from += 4, to += 4) {
        std::memcpy(to, from, 3);
        to[3] = 255;
      }
      continue;
    }
    for (uint32_t i = 0; i < source.width; ++i, from += 4, to += 4) {
      unsigned keep = 255 - from[3];
      for (int k = 0; k < 3; ++k) to[k] = uint8_t(std::min(255u, from[k] + (to[k] * keep + 127) / 255));
      to[3] = 255;
    }
  }
}

struct WindowPixmap {
  const Connection& x;
  xcb_pixmap_t pixmap = 0;
  WindowPixmap(const Connection& c, xcb_window_t window) : x(c) {
    xcb_pixmap_t id = xcb_generate_id(x.c);
    Reply<xcb_generic_error_t> error(
        xcb_request_check(x.c, xcb_composite_name_window_pixmap_checked(x.c, window, id)));
    if (!error) pixmap = id;
  }
  ~WindowPixmap() {
    if (pixmap != 0) xcb_free_pixmap(x.c, pixmap);
  }
};

// What the root shows where no window is: a window at the bottom of the stack,
// its background taken from the root's, renders it into its own pixmap.
void draw_background(const Connection& x, OwnedPixels& target, const Box& area) {
  xcb_window_t window = xcb_generate_id(x.c);
  const uint32_t values[] = {kParentRelative, 1};
  xcb_create_window(x.c, XCB_COPY_FROM_PARENT, window, x.root, int16_t(area.x), int16_t(area.y),
                    uint16_t(area.width), uint16_t(area.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
  const uint32_t below[] = {XCB_STACK_MODE_BELOW};
  xcb_configure_window(x.c, window, XCB_CONFIG_WINDOW_STACK_MODE, below);
  xcb_map_window(x.c, window);
  {
    WindowPixmap pixmap(x, window);
    if (pixmap.pixmap != 0) {
      auto pixels = get_image(x, pixmap.pixmap, 0, 0, uint16_t(area.width), uint16_t(area.height), false);
      if (pixels) draw_over(target, *pixels, 0, 0, false);
    }
  }
  xcb_destroy_window(x.c, window);
}

std::unique_ptr<Pixels> compose(const Connection& x, const Box& area, const std::set<uint32_t>& left_out) {
  auto target = std::make_unique<OwnedPixels>(area.width, area.height);
  for (size_t i = 3; i < target->bytes.size(); i += 4) target->bytes[i] = 255;
  draw_background(x, *target, area);
  // The server's own (automatic) compositing copies a window's pixels, alpha
  // or not; a compositing manager blends them over what lies below.
  Reply<xcb_get_selection_owner_reply_t> manager(xcb_get_selection_owner_reply(
      x.c, xcb_get_selection_owner(x.c, x.atoms.compositing_manager), nullptr));
  bool blend = manager && manager->owner != XCB_WINDOW_NONE;

  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.root), nullptr));
  if (!tree) return nullptr;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  int count = xcb_query_tree_children_length(tree.get());
  std::vector<xcb_get_window_attributes_cookie_t> attributes;
  std::vector<xcb_get_geometry_cookie_t> geometries;
  for (int i = 0; i < count; ++i) {
    attributes.push_back(xcb_get_window_attributes(x.c, children[i]));
    geometries.push_back(xcb_get_geometry(x.c, children[i]));
  }
  for (int i = 0; i < count; ++i) {  // bottom to top
    Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(x.c, attributes[i], nullptr));
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x.c, geometries[i], nullptr));
    if (!a || !g || a->map_state != XCB_MAP_STATE_VIEWABLE || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
      continue;
    if (left_out.count(children[i]) != 0 || !readable_depth(x, g->depth)) continue;
    int32_t outer = 2 * g->border_width;
    Box window{g->x, g->y, g->width + outer, g->height + outer};
    Box part = intersect(window, area);
    if (part.width == 0 || part.height == 0) continue;
    WindowPixmap pixmap(x, children[i]);
    if (pixmap.pixmap == 0) continue;
    auto pixels = get_image(x, pixmap.pixmap, int16_t(part.x - window.x), int16_t(part.y - window.y),
                            uint16_t(part.width), uint16_t(part.height), g->depth == 32);
    if (pixels) draw_over(*target, *pixels, part.x - area.x, part.y - area.y, blend);
  }
  return target;
}

// The root's child that holds `window`; 0 when it cannot be told.
xcb_window_t top_level_of(const Connection& x, xcb_window_t window) {
  for (int depth = 0; depth < 64; ++depth) {
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.c, xcb_query_tree(x.c, window), nullptr));
    if (!tree) return 0;
    if (tree->parent == x.root) return window;
    if (tree->parent == XCB_WINDOW_NONE) return 0;
    window = tree->parent;
  }
  return 0;
}

}  // namespace

std::vector<Output> outputs() {
  std::vector<Output> list;
  auto x = connection();
  if (!x) return list;
  if (x->randr) {
    Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            x->c, xcb_randr_get_screen_resources_current(x->c, x->root), nullptr));
    Reply<xcb_randr_get_output_primary_reply_t> primary(
        xcb_randr_get_output_primary_reply(x->c, xcb_randr_get_output_primary(x->c, x->root), nullptr));
    if (resources) {
      const xcb_randr_output_t* ids = xcb_randr_get_screen_resources_current_outputs(resources.get());
      int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
      for (int i = 0; i < count; ++i) {
        Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
            x->c, xcb_randr_get_output_info(x->c, ids[i], resources->config_timestamp), nullptr));
        if (!info || info->crtc == XCB_NONE) continue;
        Reply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
            x->c, xcb_randr_get_crtc_info(x->c, info->crtc, resources->config_timestamp), nullptr));
        if (!crtc || crtc->width == 0 || crtc->height == 0) continue;
        Output output;
        output.id = ids[i];
        output.name.assign(reinterpret_cast<const char*>(xcb_randr_get_output_info_name(info.get())),
                           xcb_randr_get_output_info_name_length(info.get()));
        output.bounds = platform::Rect{double(crtc->x), double(crtc->y), double(crtc->width),
                                       double(crtc->height)};
        output.primary = primary && primary->output == ids[i];
        list.push_back(std::move(output));
      }
    }
  }
  // A server without RandR (or without any driven output) still has its screen.
  if (list.empty()) {
    Output screen;
    screen.id = x->root;
    screen.name = "screen";
    Size size = screen_size(*x);
    screen.bounds = platform::Rect{0, 0, double(size.width), double(size.height)};
    list.push_back(std::move(screen));
  }
  if (std::none_of(list.begin(), list.end(), [](const Output& o) { return o.primary; }))
    list.front().primary = true;
  return list;
}

std::optional<std::vector<Window>> windows() {
  auto x = connection();
  if (!x) return std::nullopt;
  std::vector<Window> list;
  Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x->c, xcb_query_tree(x->c, x->root), nullptr));
  if (!tree) return list;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  int count = xcb_query_tree_children_length(tree.get());
  std::set<uint32_t> top_levels;
  for (int i = 0; i < count; ++i) {
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(x->c, xcb_get_window_attributes(x->c, children[i]), nullptr));
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x->c, xcb_get_geometry(x->c, children[i]), nullptr));
    if (!a || !g || a->map_state != XCB_MAP_STATE_VIEWABLE || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
      continue;
    Window w;
    w.id = w.top_level = children[i];
    w.offset_x = w.offset_y = g->border_width;
    w.frame = platform::Rect{double(g->x + g->border_width), double(g->y + g->border_width),
                             double(g->width), double(g->height)};
    top_levels.insert(w.id);
    list.push_back(w);
  }
  for (uint32_t id : property_u32s(*x, x->root, x->atoms.client_list, XCB_ATOM_WINDOW)) {
    if (top_levels.count(id) != 0) continue;
    xcb_window_t top = top_level_of(*x, id);
    if (top == 0 || top_levels.count(top) == 0) continue;
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(x->c, xcb_get_window_attributes(x->c, id), nullptr));
    Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(x->c, xcb_get_geometry(x->c, id), nullptr));
    Reply<xcb_get_geometry_reply_t> tg(xcb_get_geometry_reply(x->c, xcb_get_geometry(x->c, top), nullptr));
    Reply<xcb_translate_coordinates_reply_t> in_top(xcb_translate_coordinates_reply(
        x->c, xcb_translate_coordinates(x->c, id, top, 0, 0), nullptr));
    Reply<xcb_translate_coordinates_reply_t> in_root(xcb_translate_coordinates_reply(
        x->c, xcb_translate_coordinates(x->c, id, x->root, 0, 0), nullptr));
    if (!a || !g || !tg || !in_top || !in_root || a->map_state != XCB_MAP_STATE_VIEWABLE) continue;
    Window w;
    w.id = id;
    w.top_level = top;
    w.offset_x = in_top->dst_x + tg->border_width;
    w.offset_y = in_top->dst_y + tg->border_width;
    w.frame = platform::Rect{double(in_root->dst_x), double(in_root->dst_y), double(g->width),
                             double(g->height)};
    list.push_back(w);
  }
  return list;
}

Grab grab_area(const platform::Rect& area, const std::set<uint32_t>& left_out) {
  Grab grab;
  auto x = connection();
  if (!x) {
    grab.error = unavailable_reason();
    return grab;
  }
  Size size = screen_size(*x);
  Box box = intersect(Box{int32_t(area.x), int32_t(area.y), int32_t(area.width), int32_t(area.height)},
                      Box{0, 0, size.width, size.height});
  if (box.width == 0 || box.height == 0) {
    grab.error = "the area lies outside the screen";
    return grab;
  }
  if (!readable_depth(*x, x->root_depth)) {
    grab.error = "the screen's pixel format (depth " + std::to_string(x->root_depth) + ") is not supported";
    return grab;
  }
  if (left_out.empty()) {
    if (x->shm)
      grab.pixels = get_image_shm(x, x->root, int16_t(box.x), int16_t(box.y), uint16_t(box.width),
                                  uint16_t(box.height));
    if (!grab.pixels)
      grab.pixels = get_image(*x, x->root, int16_t(box.x), int16_t(box.y), uint16_t(box.width),
                              uint16_t(box.height), false);
  } else if (x->composite) {
    grab.pixels = compose(*x, box, left_out);
  } else {
    grab.error = "the X server lacks the Composite extension needed to leave windows out";
    return grab;
  }
  if (!grab.pixels) grab.error = "the X server did not return the screen's pixels";
  return grab;
}

std::optional<CursorImage> cursor_image() {
  auto x = connection();
  if (!x || !x->xfixes) return std::nullopt;
  Reply<xcb_xfixes_get_cursor_image_reply_t> reply(
      xcb_xfixes_get_cursor_image_reply(x->c, xcb_xfixes_get_cursor_image(x->c), nullptr));
  if (!reply) return std::nullopt;
  size_t count = size_t(reply->width) * reply->height;
  if (size_t(std::max(0, xcb_xfixes_get_cursor_image_cursor_image_length(reply.get()))) < count)
    return std::nullopt;
  CursorImage cursor;
  cursor.x = int32_t(reply->x) - reply->xhot;
  cursor.y = int32_t(reply->y) - reply->yhot;
  cursor.width = reply->width;
  cursor.height = reply->height;
  const uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
  cursor.argb.assign(argb, argb + count);
  return cursor;
}

Grab grab_window(const Window& window, uint32_t width, uint32_t height) {
  Grab grab;
  auto x = connection();
  if (!x) {
    grab.error = unavailable_reason();
    return grab;
  }
  if (!x->composite) {
    grab.error = "the X server lacks the Composite extension";
    return grab;
  }
  Reply<xcb_get_geometry_reply_t> g(
      xcb_get_geometry_reply(x->c, xcb_get_geometry(x->c, window.top_level), nullptr));
  WindowPixmap pixmap(*x, window.top_level);
  if (!g || pixmap.pixmap == 0) {
    grab.error = "window " + std::to_string(window.id) + " is no longer viewable";
    return grab;
  }
  if (!readable_depth(*x, g->depth)) {
    grab.error = "the window's pixel format (depth " + std::to_string(g->depth) + ") is not supported";
    return grab;
  }
  int32_t outer = 2 * g->border_width;
  Box part = intersect(Box{window.offset_x, window.offset_y, int32_t(width), int32_t(height)},
                       Box{0, 0, g->width + outer, g->height + outer});
  if (part.width == 0 || part.height == 0) {
    grab.error = "window " + std::to_string(window.id) + " has no area";
    return grab;
  }
  grab.pixels = get_image(*x, pixmap.pixmap, int16_t(part.x), int16_t(part.y), uint16_t(part.width),
                          uint16_t(part.height), g->depth == 32);
  if (!grab.pixels) grab.error = "the X server did not return the window's pixels";
  return grab;
}

}  // namespace deskcap::linux_backend::x11
