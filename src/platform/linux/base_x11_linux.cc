// The connection to the X server: opened on first use, kept for the life of
// the process (pool threads may use it until exit), reopened after the server
// closed it. Opening it redirects the root's children into Composite's
// off-screen pixmaps (automatic redirection: the server still draws the screen
// itself), so that each window keeps its own contents even where covered.
#include <xcb/composite.h>
#include <xcb/randr.h>
#include <xcb/res.h>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/linux/x11_connection_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/linux/x11_calls_linux.h"  // last: it renames xcb's functions

namespace deskcap::linux_backend::x11 {
namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
  Reply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool has_extension(xcb_connection_t* c, xcb_extension_t* extension) {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
  return data != nullptr && data->present;
}

std::string display_name() {
  const char* name = std::getenv("DISPLAY");
  return name != nullptr ? name : "";
}

std::shared_ptr<Connection> open_connection() {
  const XcbLibrary& xcb = xcb_library();
  if (!xcb.core) return nullptr;
  int screen_number = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen_number);
  if (c == nullptr) return nullptr;
  auto x = std::make_shared<Connection>();
  x->c = c;
  x->display = display_name();
  if (xcb_connection_has_error(c)) return nullptr;

  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) return nullptr;
  x->root = screens.data->root;
  x->root_depth = screens.data->root_depth;

  bool lsb = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
    if (!lsb || f.data->bits_per_pixel != 32) continue;
    if (f.data->depth == 24) x->bgra_24 = true;
    if (f.data->depth == 32) x->bgra_32 = true;
  }

  // An extension whose library is missing is one the server lacks.
  x->randr = xcb.randr && has_extension(c, &xcb_randr_id);
  x->shm = xcb.shm && has_extension(c, &xcb_shm_id);
  x->res = xcb.res && has_extension(c, &xcb_res_id);
  if (xcb.composite && has_extension(c, &xcb_composite_id)) {
    Reply<xcb_composite_query_version_reply_t> version(xcb_composite_query_version_reply(
        c, xcb_composite_query_version(c, 0, 4), nullptr));
    // NameWindowPixmap came with 0.2.
    if (version && (version->major_version > 0 || version->minor_version >= 2)) {
      xcb_void_cookie_t redirect =
          xcb_composite_redirect_subwindows_checked(c, x->root, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
      Reply<xcb_generic_error_t> error(xcb_request_check(c, redirect));
      x->composite = !error;
    }
  }
  if (x->randr) {
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    // GetScreenResourcesCurrent and the primary output came with 1.3.
    x->randr = version && (version->major_version > 1 || version->minor_version >= 3);
  }
  if (x->res) {
    Reply<xcb_res_query_version_reply_t> version(
        xcb_res_query_version_reply(c, xcb_res_query_version(c, 1, 2), nullptr));
    x->res = version && (version->server_major > 1 || version->server_minor >= 2);
  }
  // The server answers no other XFixes request before this one; GetCursorImage is 1.0's.
  if (xcb.xfixes && has_extension(c, &xcb_xfixes_id)) {
    Reply<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    x->xfixes = version && version->major_version >= 1;
  }

  Atoms& a = x->atoms;
  a.client_list = intern(c, "_NET_CLIENT_LIST");
  a.client_list_stacking = intern(c, "_NET_CLIENT_LIST_STACKING");
  a.wm_pid = intern(c, "_NET_WM_PID");
  a.gtk_application_id = intern(c, "_GTK_APPLICATION_ID");
  a.wm_name = intern(c, "_NET_WM_NAME");
  a.utf8_string = intern(c, "UTF8_STRING");
  a.wm_window_type = intern(c, "_NET_WM_WINDOW_TYPE");
  a.wm_window_type_desktop = intern(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
  a.compositing_manager = intern(c, ("_NET_WM_CM_S" + std::to_string(screen_number)).c_str());
  if (xcb_connection_has_error(c)) return nullptr;
  return x;
}

bool alive(const Connection& x) {
  Reply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(x.c, xcb_get_input_focus(x.c), nullptr));
  return reply != nullptr;
}

struct Shared {
  std::mutex lock;
  std::shared_ptr<Connection> current;
};

}  // namespace

Connection::~Connection() {
  if (c != nullptr) xcb_disconnect(c);
}

void Disconnect::operator()(xcb_connection_t* c) const { xcb_disconnect(c); }

OwnConnection connect_own(xcb_window_t* root) {
  if (!xcb_library().core) return nullptr;
  int screen_number = 0;
  OwnConnection c(xcb_connect(nullptr, &screen_number));
  if (!c || xcb_connection_has_error(c.get())) return nullptr;
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c.get()));
  for (int i = 0; i < screen_number && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem == 0) return nullptr;
  *root = screens.data->root;
  return c;
}

std::shared_ptr<Connection> connection() {
  // Never destroyed: threads may still hold the connection while exit() runs.
  static Shared& shared = *new Shared;
  std::shared_ptr<Connection> current;
  {
    std::lock_guard<std::mutex> lock(shared.lock);
    current = shared.current;
  }
  // A server that went away shows only when the connection is used: one
  // round trip finds out before the caller relies on it.
  if (current && current->display == display_name() && alive(*current)) return current;
  std::shared_ptr<Connection> fresh = open_connection();
  std::lock_guard<std::mutex> lock(shared.lock);
  // Another thread may have reconnected meanwhile; its connection stays.
  if (shared.current == current) shared.current = std::move(fresh);
  return shared.current;
}

bool reachable() { return connection() != nullptr; }

std::string unavailable_reason() {
  const XcbLibrary& xcb = xcb_library();
  return xcb.core ? "no X display is reachable (is DISPLAY set?)" : xcb.core_error;
}

Size screen_size(const Connection& x) {
  Reply<xcb_get_geometry_reply_t> root(xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, x.root), nullptr));
  return root ? Size{root->width, root->height} : Size{};
}

std::optional<std::string> property_bytes(const Connection& x, xcb_window_t window, xcb_atom_t atom,
                                          xcb_atom_t type) {
  if (atom == XCB_ATOM_NONE) return std::nullopt;
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      x.c, xcb_get_property(x.c, 0, window, atom, type, 0, 1 << 16), nullptr));
  if (!reply || reply->type == XCB_ATOM_NONE) return std::nullopt;
  const char* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
  int length = xcb_get_property_value_length(reply.get());
  return std::string(bytes, length > 0 ? static_cast<size_t>(length) : 0);
}

std::vector<uint32_t> property_u32s(const Connection& x, xcb_window_t window, xcb_atom_t atom,
                                    xcb_atom_t type) {
  std::vector<uint32_t> values;
  if (atom == XCB_ATOM_NONE) return values;
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      x.c, xcb_get_property(x.c, 0, window, atom, type, 0, 1 << 16), nullptr));
  if (!reply || reply->format != 32) return values;
  const uint32_t* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
  int count = xcb_get_property_value_length(reply.get()) / 4;
  values.assign(data, data + (count > 0 ? count : 0));
  return values;
}

}  // namespace deskcap::linux_backend::x11
