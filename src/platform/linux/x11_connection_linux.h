// The backend's one connection to the X server, shared by every thread (xcb
// is thread-safe) and reopened when the server went away.
#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace deskcap::linux_backend::x11 {

struct FreeReply {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

struct Atoms {
  xcb_atom_t client_list = 0, client_list_stacking = 0, wm_pid = 0, gtk_application_id = 0,
             wm_name = 0, utf8_string = 0, wm_window_type = 0, wm_window_type_desktop = 0,
             compositing_manager = 0;  // _NET_WM_CM_S<screen>, owned while one runs
};

struct Connection {
  xcb_connection_t* c = nullptr;
  xcb_window_t root = 0;
  uint8_t root_depth = 0;
  bool randr = false, composite = false, shm = false, res = false, xfixes = false;
  // Depths whose ZPixmap images are 32 bits per pixel, B G R A in memory.
  bool bgra_24 = false, bgra_32 = false;
  Atoms atoms;
  std::string display;  // $DISPLAY when it was opened
  ~Connection();
};

// Null when no X server answers on $DISPLAY.
std::shared_ptr<Connection> connection();

// A connection of one thread's own, for the events of what that thread
// watches: events read on the shared one would reach nobody in particular.
struct Disconnect {
  void operator()(xcb_connection_t* c) const;
};
using OwnConnection = std::unique_ptr<xcb_connection_t, Disconnect>;
// Null when no server answers; else *root is its default screen's root.
OwnConnection connect_own(xcb_window_t* root);

// The root window's size now: RandR grows and shrinks it while the server
// runs, so the size the connection was opened with goes stale. {0, 0} when
// the server does not answer.
struct Size {
  uint16_t width = 0, height = 0;
};
Size screen_size(const Connection& x);

// A property's bytes (any format), nullopt when absent.
std::optional<std::string> property_bytes(const Connection& x, xcb_window_t window, xcb_atom_t atom,
                                          xcb_atom_t type);
// A 32-bit list property (CARDINAL, WINDOW, ATOM), empty when absent.
std::vector<uint32_t> property_u32s(const Connection& x, xcb_window_t window, xcb_atom_t atom,
                                    xcb_atom_t type);

}  // namespace deskcap::linux_backend::x11
