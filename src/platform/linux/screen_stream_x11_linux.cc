// A stream's own X connection: the damage, structure and RandR events of its
// source arrive there, for its thread alone, and its breaking is how the
// stream learns that the server went away.
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/xfixes.h>

#include <memory>
#include <utility>

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
      xcb_damage_create(c, damage_, source_.window ? source_.window->top_level : root_,
                        XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
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
    if (outputs_changed && gone_.empty()) follow_display(seen);
    if (!gone_.empty()) {
      seen.end = End::SourceGone;
      seen.reason = gone_;
      return seen;
    }
    if (first_ || damage_ == 0) seen.changed = true;
    first_ = false;
    // Emptied before the grab that follows: what is drawn from here on
    // raises the next notification.
    if (seen.changed && damage_ != 0)
      Reply<xcb_generic_error_t>(xcb_request_check(c, xcb_damage_subtract_checked(c, damage_, XCB_NONE, XCB_NONE)));
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
