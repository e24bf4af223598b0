// What the Linux backend reads from the X server (RandR outputs, top-level
// windows, Composite window pixmaps), in plain shapes the seam's sections
// translate. Built over xcb (the *_x11_linux.cc files), or answering "no
// server" when the backend was built without it (the *_x11_absent_linux.cc).
// Every function may be called from any thread; a SourceWatch from one at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/watch_linux.h"
#include "platform/platform.h"

namespace deskcap::linux_backend::x11 {

// True when an X server answers on $DISPLAY.
bool reachable();
// Why none does, for error texts: libxcb is missing, or no server answers.
std::string unavailable_reason();

// One RandR output driven by a CRTC; bounds in root-window pixels.
struct Output {
  uint32_t id = 0;  // the output's XID, stable while the server runs
  std::string name;
  platform::Rect bounds;
  bool primary = false;
};
// In RandR's order; the primary output (else the first) is marked. Empty
// without a server.
std::vector<Output> outputs();

// A mapped window another program shows: a top-level (a child of the root) or
// a client window inside a window manager's frame.
struct Window {
  uint32_t id = 0;
  uint32_t top_level = 0;       // the root's child holding it (itself when it is one)
  int32_t offset_x = 0;         // its origin inside the top-level's pixmap (past the border)
  int32_t offset_y = 0;
  platform::Rect frame;         // root coordinates, pixels
};
// Viewable windows: every top-level, then the window manager's clients that
// are not top-levels themselves. Nullopt without a server.
std::optional<std::vector<Window>> windows();

// A client window as a window list shows it, front to back.
struct Client {
  uint32_t id = 0;
  platform::Rect frame;
  std::optional<int64_t> pid;           // _NET_WM_PID, else the X-Resource client pid
  std::optional<std::string> title;     // _NET_WM_NAME, else WM_NAME
  std::vector<std::string> app_ids;     // _GTK_APPLICATION_ID, WM_CLASS class, executable name
  bool desktop = false;                 // _NET_WM_WINDOW_TYPE_DESKTOP
};
// _NET_CLIENT_LIST_STACKING reversed, or the root's viewable children when no
// window manager keeps it. Nullopt without a server.
std::optional<std::vector<Client>> clients();

// Pixels read back from the server, 8-bit B G R A in memory, rows top to
// bottom. `alpha` is false when the fourth byte means nothing (depth 24).
class Pixels {
 public:
  virtual ~Pixels() = default;
  uint32_t width = 0, height = 0;
  size_t stride = 0;
  bool alpha = false;
  virtual const uint8_t* data() const = 0;
  // The same bytes to draw on; every grab's are deskcap's own.
  virtual uint8_t* writable() { return nullptr; }
};

// Pixels of deskcap's own: images it composes, draws on or scales.
class OwnedPixels : public Pixels {
 public:
  OwnedPixels(uint32_t w, uint32_t h) : bytes(size_t(w) * h * 4) {
    width = w;
    height = h;
    stride = size_t(w) * 4;
  }
  const uint8_t* data() const override { return bytes.data(); }
  uint8_t* writable() override { return bytes.data(); }
  std::vector<uint8_t> bytes;
};

struct Grab {
  std::unique_ptr<Pixels> pixels;  // set on success
  std::string error;               // otherwise, why
};

// The root window's contents over `area` (root coordinates), as shown. When
// `left_out` names top-levels, the image is built from the root's background
// and every other viewable top-level's own contents, bottom to top.
Grab grab_area(const platform::Rect& area, const std::set<uint32_t>& left_out);

// The window's own contents (width × height from its origin), whatever covers it.
Grab grab_window(const Window& window, uint32_t width, uint32_t height);

// The pointer as the server draws it (XFixes): premultiplied A R G B words,
// rows top to bottom, its top-left corner (the hot spot taken off) at (x, y)
// in root coordinates. Nullopt without a server or its XFixes extension.
struct CursorImage {
  int32_t x = 0, y = 0;
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> argb;
};
std::optional<CursorImage> cursor_image();

// A rectangle of root-window pixels.
struct Area {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// What a stream captures, watched on an X connection of the stream's own:
// whether it changed (the Damage extension), where for a display, and
// whether it is gone.
struct StreamSource {
  std::optional<Window> window;   // a window, else
  std::optional<Output> display;  // a display
  bool cursor = false;            // the pointer is drawn in: its moves and shapes count
};
class SourceWatch {
 public:
  virtual ~SourceWatch() = default;
  enum class End { None, SourceGone, ServerGone };
  struct Seen {
    bool changed = false;
    // A display's changes, when changed: anywhere (the first take, no
    // Damage, the outputs changed), else within these few rectangles, the
    // pointer aside (its moves count as changed, nowhere in particular).
    bool anywhere = false;
    std::vector<Area> damaged;
    End end = End::None;
    std::string reason;                    // why it ended
    std::optional<platform::Rect> bounds;  // the display's, when they changed
  };
  // What happened before this call since the previous one: changed at the
  // first, and always where the server or the build lacks Damage. A change
  // after a call that said changed counts for the next one.
  virtual Seen take() = 0;
};
// Null, with *error set, when no server answers.
std::unique_ptr<SourceWatch> watch_source(const StreamSource& source, std::string* error);

// Serves a display watch until `run` stops, on a connection of its own:
// `changed` runs once a burst of RandR notifications has settled, and once
// after each connection (the first too: what changed before the selection
// took effect is not lost); without a server it tries again about once a
// second. Returns at once where the build has no X support.
void watch_outputs(watch::Run& run, const std::function<void()>& changed);

}  // namespace deskcap::linux_backend::x11
