// The fake world's screen: the "screen" section read into a model, and the
// framework objects (displays, windows, content, filters, configurations,
// images, display modes) made from it. See docs/fake-world.md, "Screen".
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/base_world_fake.h"
#include "platform/platform.h"

namespace deskcap::fake::screen {

// Straight (not premultiplied) 8-bit colour.
struct Colour {
  uint8_t r = 0, g = 0, b = 0, a = 255;
};

struct Pattern {
  enum class Kind { None, Checker, Stripes };
  Kind kind = Kind::None;
  Colour colour;
  double size = 8;  // points per cell or stripe
};

struct DisplaySpec {
  uint32_t id = 0;
  platform::Rect bounds{0, 0, 1920, 1080};
  bool has_mode = true;
  size_t mode_pixel_width = 1920;
  size_t mode_width = 1920;
  bool main = false;
  bool active = true;
  bool in_content = true;
  Colour background{0, 0, 0, 255};
  // Pixels per point from the mode's widths (1 without a mode or a 0 width).
  double scale() const;
};

struct WindowSpec {
  uint32_t id = 0;
  platform::Rect frame{0, 0, 800, 600};
  int32_t pid = 0;
  std::string title;
  Colour fill{255, 255, 255, 255};
  Pattern pattern;
  double z = 0;
  size_t order = 0;  // place in the "windows" array: 0 is frontmost
  bool on_screen = true;
  bool desktop = false;
  bool in_content = true;
  std::optional<double> scale;  // pointPixelScale of its own filter
};

// How one kind of request completes.
struct Behaviour {
  enum class Outcome { Ok, Error, None };
  Outcome outcome = Outcome::Ok;
  std::string description;  // the framework error's description, raw bytes
  json delivery;            // {"deliver": ..., "delayMs": ...} for fake::deliver
};

// How the world's capture streams behave ("screen.stream").
struct StreamScript {
  Behaviour start;  // the start's completion
  Behaviour stop;   // the stop's completion
  bool still = false;  // the screen never changes after the first frame
  std::optional<uint64_t> stop_after_frames;  // then the system stops the stream
  int64_t stop_code = -3821;
  std::string stop_error = "Stream was stopped by the system";
  std::optional<std::string> output_error;  // adding the output fails
};

struct Model {
  std::vector<DisplaySpec> displays;
  std::vector<WindowSpec> windows;  // the section's order: content order, front to back
  std::optional<uint32_t> main_display_id;
  int32_t display_count_error = 0;
  int32_t display_list_error = 0;
  std::optional<uint32_t> display_list_count;
  Behaviour content;
  Behaviour screenshot;
  std::optional<bool> screen_recording{true};  // the permission check; nullopt: cannot tell
  bool request_answer = true;                  // what a request for it answers
  std::optional<std::pair<size_t, size_t>> screenshot_size;
  // Extra time of a screenshot for each other one in flight as it starts, as the
  // capture daemon charges for overlapping requests; before timeScale.
  double overlap_penalty_ms = 0;
  StreamScript stream;
  bool pixels_fail = false;
  bool pixels_draw_empty = false;
  std::string probe_file;
  // The mouse pointer, drawn as a small window in front of all others when a
  // configuration asks for the cursor.
  std::optional<WindowSpec> cursor;

  const DisplaySpec* display(uint32_t id) const;
  const WindowSpec* window(uint32_t id) const;
  // pointPixelScale of a window's own filter.
  double window_scale(const WindowSpec& w) const;
};

// The model of the current world, rebuilt when the world changes.
std::shared_ptr<const Model> model();

// In-flight screenshots, written to the probe file as they change.
class Probe {
 public:
  explicit Probe(std::string file) : file_(std::move(file)) {}
  void content_fetched();
  // `request`: what the screenshot was asked for (filter and configuration);
  // `id`: the display or window it shows. Answers the overlap penalty it pays:
  // `penalty_ms` for each screenshot already in flight.
  double screenshot_started(json request, uint32_t id, double penalty_ms);
  // `paint_ms`: how long painting the image took (the fake's own cost).
  void screenshot_finished(double paint_ms);
  // What the probe file holds.
  json snapshot();

 private:
  json document_locked() const;
  void write_locked();
  std::mutex mutex_;
  std::string file_;
  long in_flight_ = 0, max_in_flight_ = 0, started_ = 0, finished_ = 0, fetches_ = 0;
  double paint_ms_ = 0, penalty_ms_ = 0;
  json last_request_;
  std::deque<uint32_t> order_;  // the last few screenshots' ids, oldest first
};
// The probe of the current world.
std::shared_ptr<Probe> probe();

// Paints an image of width x height pixels (BGRA, premultiplied, rows top to
// bottom) showing `source` (points, relative to the display's top-left) of the
// display with the given windows composited back to front.
std::vector<uint8_t> render_display(const DisplaySpec& display,
                                    const std::vector<const WindowSpec*>& windows_front_to_back,
                                    const platform::Rect& source, size_t width, size_t height);
// The window alone; `source` relative to the window's top-left.
std::vector<uint8_t> render_window(const WindowSpec& window, const platform::Rect& source,
                                   size_t width, size_t height);

// The registered display reconfiguration callbacks, and a reconfiguration
// as CoreGraphics reports it: `post_reconfiguration` calls each of them once
// for (display, flags), on the calling thread, with no lock held.
size_t reconfiguration_callbacks();
// Capture streams started and not yet stopped (by the caller or the system).
long streams_running();
void post_reconfiguration(uint32_t display, uint32_t flags);

}  // namespace deskcap::fake::screen

namespace deskcap::platform {

struct DisplayMode : fake::FakeObject {
  DisplayMode() : FakeObject("DisplayMode") {}
  size_t pixel_width = 0;
  size_t width = 0;
};

struct ScDisplay : fake::FakeObject {
  ScDisplay() : FakeObject("ScDisplay") {}
  fake::screen::DisplaySpec entry;
  std::shared_ptr<const fake::screen::Model> model;  // the world it was listed from
};

struct ScWindow : fake::FakeObject {
  ScWindow() : FakeObject("ScWindow") {}
  fake::screen::WindowSpec entry;
  std::shared_ptr<const fake::screen::Model> model;
};

struct ShareableContent : fake::FakeObject {
  ShareableContent() : FakeObject("ShareableContent") {}
  std::vector<Ref<ScDisplay>> displays;
  std::vector<Ref<ScWindow>> windows;
};

struct ContentFilter : fake::FakeObject {
  ContentFilter() : FakeObject("ContentFilter") {}
  enum class Kind {
    DesktopIndependentWindow,
    DisplayExcludingWindows,
  };
  Kind kind = Kind::DisplayExcludingWindows;
  Ref<ScDisplay> display;
  Ref<ScWindow> window;                    // the desktop-independent window
  std::vector<Ref<ScWindow>> windows;      // the excluded ones
};

struct StreamConfiguration : fake::FakeObject {
  StreamConfiguration() : FakeObject("StreamConfiguration") {}
  size_t width = 0;   // 0: the source's own pixel size
  size_t height = 0;
  bool shows_cursor = true;
  std::optional<Rect> source_rect;
  double minimum_frame_interval = 0;  // seconds; 0: as often as the screen changes
  int32_t queue_depth = 8;
  bool bgra_output = false;
};

// A CGImage. Kept as BGRA, the screenshot's native order, so that the pixel
// extraction has a real conversion to do.
struct Image : fake::FakeObject {
  Image() : FakeObject("Image") {}
  size_t width = 0;
  size_t height = 0;
  std::vector<uint8_t> bgra;  // premultiplied, rows top to bottom, width*4 per row
};

// The screenshot the filter and configuration ask for, painted from the world
// the filter's objects were listed from; `forced_size` overrides the size.
// Null when the image would be too large to paint.
Image* render_image(const ContentFilter& f, const StreamConfiguration& c,
                    const std::optional<std::pair<size_t, size_t>>& forced_size);

}  // namespace deskcap::platform
