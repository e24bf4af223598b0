// A stream's own X connection: the damage, structure and RandR events of its
// source arrive there, for its thread alone, and its breaking is how the
// stream learns that the server went away.
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/linux/x11_connection_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/linux/x11_calls_linux.h"  // last: it renames xcb's functions

namespace deskcap::linux_backend::x11 {
namespace {

// How far outside the captured area the pointer still shows in it: about
// the largest cursor images there are.
constexpr double kPointerReach = 256;

bool reaches(const platform::Rect& area, int32_t x, int32_t y) {
  return x >= area.x - kPointerReach && x < area.x + area.width + kPointerReach &&
         y >= area.y - kPointerReach && y < area.y + area.height + kPointerReach;
}

bool same(const platform::Rect& a, const platform::Rect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Enough rectangles to keep a few separate changes apart; more are merged.
constexpr size_t kMostAreas = 8;

int64_t size_of(const Area& a) { return int64_t(a.width) * a.height; }
Area bounds_of(const Area& a, const Area& b) {
  int32_t left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  int32_t right = std::max(a.x + a.width, b.x + b.width), bottom = std::max(a.y + a.height, b.y + b.height);
  return Area{left, top, right - left, bottom - top};
}
bool inside(const Area& a, const Area& b) {
  return a.x >= b.x && a.y >= b.y && a.x + a.width <= b.x + b.width && a.y + a.height <= b.y + b.height;
}

// Adds `a` to the list, merging the two whose bounds add the least area
// while there are too many.
void add_area(std::vector<Area>& list, const Area& a) {
  if (a.width <= 0 || a.height <= 0) return;
  for (const Area& b : list)
    if (inside(a, b)) return;
  list.erase(std::remove_if(list.begin(), list.end(), [&](const Area& b) { return inside(b, a); }), list.end());
  list.push_back(a);
  while (list.size() > kMostAreas) {
    size_t first = 0, second = 1;
    int64_t least = INT64_MAX;
    for (size_t i = 0; i < list.size(); ++i)
      for (size_t j = i + 1; j < list.size(); ++j) {
        int64_t added = size_of(bounds_of(list[i], list[j])) - size_of(list[i]) - size_of(list[j]);
        if (added < least) least = added, first = i, second = j;
      }
    list[first] = bounds_of(list[first], list[second]);
    list.erase(list.begin() + second);
  }
}

// The extension's first event code, when the server has it and answers its
// version (it takes no other request of the extension before that one).
template <class Ask>
std::optional<uint8_t> first_event(xcb_connection_t* c, bool loaded, xcb_extension_t* (*id)(), Ask ask) {
  if (!loaded) return std::nullopt;
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, id());
  if (data == nullptr || !data->present || !ask()) return std::nullopt;
  return data->first_event;
}

class Watch final : public SourceWatch {
 public:
  Watch(OwnConnection c, xcb_window_t root, const StreamSource& source)
      : c_(std::move(c)), root_(root), source_(source) {}

  // False when the server stopped answering meanwhile.
  bool select() {
    xcb_connection_t* c = c_.get();
    const XcbLibrary& xcb = xcb_library();
    auto damage = first_event(c, xcb.damage, [] { return &xcb_damage_id; }, [&] {
      return Reply<xcb_damage_query_version_reply_t>(
                 xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr)) != nullptr;
    });
    if (damage) {
      damage_event_ = *damage;
      damage_ = xcb_generate_id(c);
      // A display's notifications say where: each rectangle the damage
      // grows by. A window's need only say that it changed.
      xcb_damage_create(c, damage_, source_.window ? source_.window->top_level : root_,
                        source_.window ? XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY : XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES);
      if (source_.display) watch_top_levels();
    }
    if (source_.window) select_window();
    if (source_.display) {
      auto randr = first_event(c, xcb.randr, [] { return &xcb_randr_id; }, [&] {
        Reply<xcb_randr_query_version_reply_t> v(
            xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        return v && (v->major_version > 1 || v->minor_version >= 2);
      });
      if (randr) {
        randr_event_ = *randr;
        xcb_randr_select_input(c, root_,
                               XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE |
                                   XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
      }
    }
    if (source_.cursor) {
      auto xfixes = first_event(c, xcb.xfixes, [] { return &xcb_xfixes_id; }, [&] {
        return Reply<xcb_xfixes_query_version_reply_t>(
                   xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr)) != nullptr;
      });
      if (xfixes) {
        xfixes_event_ = *xfixes;
        xcb_xfixes_select_cursor_input(c, root_, XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR);
      }
    }
    // A round trip: the selections are in force before the first take().
    Reply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return sync != nullptr;
  }

  Seen take() override {
    xcb_connection_t* c = c_.get();
    Seen seen;
    // A round trip first: every event sent before its reply is read with it.
    if (source_.cursor) {
      Reply<xcb_query_pointer_reply_t> p(xcb_query_pointer_reply(c, xcb_query_pointer(c, root_), nullptr));
      if (p) {
        std::pair<int32_t, int32_t> now{p->root_x, p->root_y};
        if (pointer_ && *pointer_ != now && (near_area(*pointer_) || near_area(now))) seen.changed = true;
        pointer_ = now;
      }
    } else {
      Reply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    bool outputs_changed = false;
    while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
      const uint8_t type = event->response_type & 0x7F;
      if (damage_ != 0 && type == damage_event_ + XCB_DAMAGE_NOTIFY) {
        seen.changed = true;
        if (source_.display) {
          const auto* notify = reinterpret_cast<xcb_damage_notify_event_t*>(event.get());
          // The area is the drawable's; the geometry's corner is where that lies on the screen.
          add_area(seen.damaged, Area{notify->geometry.x + notify->area.x, notify->geometry.y + notify->area.y,
                                      notify->area.width, notify->area.height});
          if (std::find(dirty_.begin(), dirty_.end(), notify->damage) == dirty_.end())
            dirty_.push_back(notify->damage);
        }
      } else if (source_.display && top_level_event(type, event.get(), seen)) {
        continue;  // a root's child: taken into account
      } else if (type == XCB_DESTROY_NOTIFY) {
        if (ours(reinterpret_cast<xcb_destroy_notify_event_t*>(event.get())->window)) end("was closed", true);
      } else if (type == XCB_UNMAP_NOTIFY) {
        if (ours(reinterpret_cast<xcb_unmap_notify_event_t*>(event.get())->window)) end("was hidden");
      } else if (randr_event_ != 0 && (type == randr_event_ + XCB_RANDR_SCREEN_CHANGE_NOTIFY ||
                                       type == randr_event_ + XCB_RANDR_NOTIFY)) {
        outputs_changed = true;
      } else if (xfixes_event_ != 0 && type == xfixes_event_ + XCB_XFIXES_CURSOR_NOTIFY) {
        if (!pointer_ || near_area(*pointer_)) seen.changed = true;
      }
    }
    if (xcb_connection_has_error(c)) {
      seen.end = End::ServerGone;
      seen.reason = "the X server closed the connection";
      return seen;
    }
    if (outputs_changed && gone_.empty()) {
      seen.anywhere = true;
      follow_display(seen);
    }
    if (!gone_.empty()) {
      seen.end = End::SourceGone;
      seen.reason = gone_;
      return seen;
    }
    if (first_ || damage_ == 0) seen.changed = seen.anywhere = true;
    first_ = false;
    if (seen.anywhere) seen.changed = true;
    // Emptied before the grab that follows: what is drawn from here on
    // raises the next notification.
    if (seen.changed && damage_ != 0) {
      if (source_.window) {
        Reply<xcb_generic_error_t>(xcb_request_check(c, xcb_damage_subtract_checked(c, damage_, XCB_NONE, XCB_NONE)));
      } else if (!dirty_.empty()) {
        // A window's damage that went with it answers an error, which is
        // read as an event and ignored.
        for (xcb_damage_damage_t d : dirty_) xcb_damage_subtract(c, d, XCB_NONE, XCB_NONE);
        dirty_.clear();
        Reply<xcb_get_input_focus_reply_t> sync(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
      }
    }
    return seen;
  }

 private:
  // The window and its top-level tell when they go; one that went already
  // refuses the selection or is no longer viewable.
  void select_window() {
    xcb_connection_t* c = c_.get();
    const uint32_t mask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    for (xcb_window_t w : {source_.window->id, source_.window->top_level}) {
      Reply<xcb_generic_error_t> error(
          xcb_request_check(c, xcb_change_window_attributes_checked(c, w, XCB_CW_EVENT_MASK, mask)));
      if (error) end("was closed", true);
    }
    Reply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, source_.window->id), nullptr));
    if (a && a->map_state != XCB_MAP_STATE_VIEWABLE) end("is not shown");
  }

  // RandR changed something: the display is gone, or it moved or resized.
  void follow_display(Seen& seen) {
    for (const Output& output : outputs()) {
      if (output.id != source_.display->id) continue;
      if (!same(output.bounds, source_.display->bounds)) {
        source_.display->bounds = output.bounds;
        seen.bounds = output.bounds;
        seen.changed = true;
      }
      return;
    }
    gone_ = "display " + std::to_string(source_.display->id) + " was removed";
  }

  // A display's top-levels have damage of their own: under Composite's
  // automatic redirection the server copies their contents to the screen
  // itself, and the root's damage misses the copies it makes while it
  // draws a software pointer (Xvfb's, for one). Their maps, moves and
  // restacking change the screen where they were and where they are.
  struct TopLevel {
    Area outer;  // border included
    bool viewable = false;
    xcb_damage_damage_t damage = 0;
  };

  static Area outer_of(int16_t x, int16_t y, uint16_t width, uint16_t height, uint16_t border) {
    return Area{x, y, width + 2 * border, height + 2 * border};
  }

  void watch_contents(xcb_window_t window, TopLevel& top) {
    if (top.damage != 0) return;
    top.damage = xcb_generate_id(c_.get());
    xcb_damage_create(c_.get(), top.damage, window, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES);
  }

  // Selected first, then listed: a window that comes meanwhile is in both,
  // which is harmless.
  void watch_top_levels() {
    xcb_connection_t* c = c_.get();
    const uint32_t mask[] = {XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY};
    Reply<xcb_generic_error_t>(
        xcb_request_check(c, xcb_change_window_attributes_checked(c, root_, XCB_CW_EVENT_MASK, mask)));
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root_), nullptr));
    if (!tree) return;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    std::vector<xcb_get_window_attributes_cookie_t> attributes;
    std::vector<xcb_get_geometry_cookie_t> geometries;
    for (int i = 0; i < count; ++i) {
      attributes.push_back(xcb_get_window_attributes(c, children[i]));
      geometries.push_back(xcb_get_geometry(c, children[i]));
    }
    for (int i = 0; i < count; ++i) {
      Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c, attributes[i], nullptr));
      Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(c, geometries[i], nullptr));
      if (!a || !g || a->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) continue;
      TopLevel& top = top_levels_[children[i]];
      top.outer = outer_of(g->x, g->y, g->width, g->height, g->border_width);
      top.viewable = a->map_state == XCB_MAP_STATE_VIEWABLE;
      if (top.viewable) watch_contents(children[i], top);
    }
  }

  // A window the listing missed (it came in between), asked about now.
  TopLevel* learn(xcb_window_t window) {
    Reply<xcb_get_geometry_reply_t> g(
        xcb_get_geometry_reply(c_.get(), xcb_get_geometry(c_.get(), window), nullptr));
    if (!g) return nullptr;
    TopLevel& top = top_levels_[window];
    top.outer = outer_of(g->x, g->y, g->width, g->height, g->border_width);
    return &top;
  }

  // True for a notification about a root's child; where it changed the
  // screen goes into `seen`.
  bool top_level_event(uint8_t type, xcb_generic_event_t* event, Seen& seen) {
    auto known = [&](xcb_window_t w) -> TopLevel* {
      auto it = top_levels_.find(w);
      return it == top_levels_.end() ? nullptr : &it->second;
    };
    auto shown = [&](const TopLevel* top) {
      if (top == nullptr || !top->viewable) return;
      add_area(seen.damaged, top->outer);
      seen.changed = true;
    };
    switch (type) {
      case XCB_CREATE_NOTIFY: {
        auto* e = reinterpret_cast<xcb_create_notify_event_t*>(event);
        if (e->parent != root_) return false;
        top_levels_[e->window] = TopLevel{outer_of(e->x, e->y, e->width, e->height, e->border_width)};
        return true;  // nothing shown yet
      }
      case XCB_MAP_NOTIFY: {
        auto* e = reinterpret_cast<xcb_map_notify_event_t*>(event);
        if (e->event != root_) return false;
        TopLevel* top = known(e->window);
        if (top == nullptr) top = learn(e->window);
        if (top == nullptr) return true;
        top->viewable = true;
        watch_contents(e->window, *top);
        shown(top);
        return true;
      }
      case XCB_UNMAP_NOTIFY: {
        auto* e = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
        if (e->event != root_) return false;
        TopLevel* top = known(e->window);
        if (top == nullptr) return true;
        shown(top);
        top->viewable = false;
        if (top->damage != 0) xcb_damage_destroy(c_.get(), top->damage);
        top->damage = 0;
        return true;
      }
      case XCB_DESTROY_NOTIFY: {
        auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
        if (e->event != root_) return false;
        shown(known(e->window));
        top_levels_.erase(e->window);  // its damage went with it
        return true;
      }
      case XCB_CONFIGURE_NOTIFY: {
        auto* e = reinterpret_cast<xcb_configure_notify_event_t*>(event);
        if (e->event != root_ || e->window == root_) return false;
        TopLevel& top = top_levels_[e->window];
        shown(&top);
        top.outer = outer_of(e->x, e->y, e->width, e->height, e->border_width);
        shown(&top);
        return true;
      }
      case XCB_GRAVITY_NOTIFY: {
        auto* e = reinterpret_cast<xcb_gravity_notify_event_t*>(event);
        if (e->event != root_) return false;
        TopLevel* top = known(e->window);
        if (top == nullptr) return true;
        shown(top);
        top->outer.x = e->x;
        top->outer.y = e->y;
        shown(top);
        return true;
      }
      case XCB_CIRCULATE_NOTIFY: {
        auto* e = reinterpret_cast<xcb_circulate_notify_event_t*>(event);
        if (e->event != root_) return false;
        shown(known(e->window));
        return true;
      }
      case XCB_REPARENT_NOTIFY: {
        auto* e = reinterpret_cast<xcb_reparent_notify_event_t*>(event);
        if (e->event != root_) return false;
        if (e->parent == root_) {
          // Mapped again after, when it was: that notification shows it.
          if (TopLevel* top = learn(e->window)) top->viewable = false;
          return true;
        }
        TopLevel* top = known(e->window);
        if (top == nullptr) return true;
        shown(top);
        if (top->damage != 0) xcb_damage_destroy(c_.get(), top->damage);
        top_levels_.erase(e->window);
        return true;
      }
      default:
        return false;
    }
  }

  bool ours(xcb_window_t w) const {
    return source_.window && (w == source_.window->id || w == source_.window->top_level);
  }
  // A window destroyed is unmapped first, in the same batch of events.
  void end(const char* how, bool closed = false) {
    if (gone_.empty() || closed) gone_ = "window " + std::to_string(source_.window->id) + " " + how;
  }
  bool near_area(const std::pair<int32_t, int32_t>& p) const {
    const platform::Rect& area = source_.window ? source_.window->frame : source_.display->bounds;
    return reaches(area, p.first, p.second);
  }

  OwnConnection c_;
  const xcb_window_t root_;
  StreamSource source_;
  xcb_damage_damage_t damage_ = 0;  // none without the extension
  uint8_t damage_event_ = 0, randr_event_ = 0, xfixes_event_ = 0;  // 0: not selected
  bool first_ = true;
  std::optional<std::pair<int32_t, int32_t>> pointer_;
  std::string gone_;  // why the source ended, once it did
  std::unordered_map<xcb_window_t, TopLevel> top_levels_;
  std::vector<xcb_damage_damage_t> dirty_;  // reported since they were last emptied
};

}  // namespace

std::unique_ptr<SourceWatch> watch_source(const StreamSource& source, std::string* error) {
  xcb_window_t root = 0;
  OwnConnection c = connect_own(&root);
  if (c) {
    auto watch = std::make_unique<Watch>(std::move(c), root, source);
    if (watch->select()) return watch;
  }
  *error = unavailable_reason();
  return nullptr;
}

}  // namespace deskcap::linux_backend::x11
