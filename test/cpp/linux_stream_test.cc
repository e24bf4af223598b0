// Screen streams of the Linux backend through the seam, on a private Xvfb
// drawn on with xcb from here (and an Xorg whose outputs xrandr changes): the
// rate, Idle samples while nothing changes, a display's frames equal to
// screenshots however the screen changes, the system's stops, and the quiet
// after a stop, a detach or a release.
#include <gtest/gtest.h>

#if __has_include(<xcb/xcb.h>)
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "linux_private_x.h"
#include "linux_private_xorg.h"
#include "linux_processes.h"
#include "platform/platform.h"
#include "seam_screenshot.h"

namespace {

namespace p = deskcap::platform;
using Clock = std::chrono::steady_clock;
using linux_test::Calls;

constexpr int kFps = 50;
constexpr int64_t kNoCaptureSource = -3815;
constexpr int64_t kConnectionInterrupted = -3805;

struct Sample {
  int64_t status = -1;
  bool locked = false;
  std::optional<p::Rect> rect;
  std::optional<double> scale;
  std::string probe;  // "#rrggbbaa" at the recorder's probe point, read through an image over the rows
  seam_test::Shot shot;  // every pixel, when the recorder keeps them
};
struct Stop {
  int64_t code = 0;
  std::string text;
};

struct Recorder {
  int probe_x = 0, probe_y = 0;
  bool keep_pixels = false;
  std::function<void()> during;  // runs in each sample handler, set before the start
  Calls<Sample> samples;
  Calls<Stop> stops;

  static void sample(void* context, p::SampleBuffer* buffer) {
    auto* r = static_cast<Recorder*>(context);
    Sample s;
    s.status = p::sample_frame_status(buffer).value_or(-1);
    s.rect = p::sample_content_rect(buffer);
    s.scale = p::sample_scale_factor(buffer);
    p::SamplePixels pixels;
    s.locked = p::sample_lock_pixels(buffer, &pixels);
    if (s.locked) {
      p::Ref<p::Image> image(p::image_create_bgra(pixels.base, pixels.width, pixels.height, pixels.bytes_per_row));
      std::vector<uint8_t> row(pixels.width * 4);
      if (image && p::draw_image_rows_rgba(image.get(), pixels.width, pixels.height, r->probe_y, 1, row.data())) {
        const uint8_t* px = &row[r->probe_x * 4];
        char text[10];
        std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", px[0], px[1], px[2], px[3]);
        s.probe = text;
      }
      if (image && r->keep_pixels) {
        s.shot = seam_test::Shot{pixels.width, pixels.height, std::vector<uint8_t>(pixels.width * pixels.height * 4)};
        EXPECT_TRUE(p::draw_image_rows_rgba(image.get(), pixels.width, pixels.height, 0, pixels.height,
                                            s.shot.rgba.data()));
      }
      p::sample_unlock_pixels(buffer);
    }
    r->samples.record(s);
    if (r->during) r->during();
  }
  static void stopped(void* context, int64_t code, const char* text) {
    static_cast<Recorder*>(context)->stops.record(Stop{code, text});
  }

  bool idle_from(size_t from, size_t count) {
    if (!samples.wait_for(from + count - 1, [](const Sample&) { return true; })) return false;
    auto all = samples.all();
    for (size_t i = from; i < from + count; ++i)
      if (all[i].status != p::frame_status::kIdle || all[i].locked || all[i].rect || all[i].scale) return false;
    return true;
  }
};

// A completion's error text, "" for none, and how many samples had come by then.
struct Completion {
  Calls<std::string> calls;
  Recorder* recorder = nullptr;
  size_t samples = 0;
  static void done(void* context, p::Object* object, const char* error) {
    EXPECT_EQ(object, nullptr);
    auto* c = static_cast<Completion*>(context);
    if (c->recorder != nullptr) c->samples = c->recorder->samples.count();
    c->calls.record(error != nullptr ? error : "");
  }
  std::string wait() {
    EXPECT_TRUE(calls.wait_for(0, [](const std::string&) { return true; })) << "no completion";
    auto all = calls.all();
    return all.empty() ? "(none)" : all[0];
  }
};

std::string stop(p::Stream* stream, Recorder* recorder = nullptr, size_t* samples = nullptr) {
  Completion stopped;
  stopped.recorder = recorder;
  p::stream_stop(stream, &stopped, Completion::done);
  std::string error = stopped.wait();
  if (samples != nullptr) *samples = stopped.samples;
  return error;
}

p::Ref<p::ShareableContent> content() {
  p::Object* got = nullptr;
  p::get_shareable_content(false, false, &got, [](void* context, p::Object* object, const char* error) {
    EXPECT_EQ(error, nullptr) << error;
    *static_cast<p::Object**>(context) = object;
  });
  return p::Ref<p::ShareableContent>(reinterpret_cast<p::ShareableContent*>(got));
}
// The display of that name, else the first.
p::Ref<p::ScDisplay> display(const std::string& name = "") {
  for (auto& d : p::content_displays_copy(content().get()))
    if (name.empty() || p::display_name(p::sc_display_id(d.get())) == name) return std::move(d);
  ADD_FAILURE() << "no display " << name;
  return p::Ref<p::ScDisplay>();
}
p::Ref<p::ContentFilter> display_filter(p::ScDisplay* d) {
  return p::Ref<p::ContentFilter>(p::filter_with_display_excluding_windows(d, {}));
}
p::Ref<p::ContentFilter> window_filter(xcb_window_t id) {
  for (auto& window : p::content_windows_copy(content().get()))
    if (p::sc_window_id(window.get()) == id)
      return p::Ref<p::ContentFilter>(p::filter_with_desktop_independent_window(window.get()));
  ADD_FAILURE() << "window " << id << " is not in the content";
  return p::Ref<p::ContentFilter>();
}

// Started at kFps, its start completed; at the source's size unless one is given.
p::Ref<p::Stream> start(p::ContentFilter* filter, Recorder& recorder, bool cursor = false, size_t width = 0,
                        size_t height = 0) {
  p::Ref<p::StreamConfiguration> configuration(p::configuration_create());
  p::configuration_set_shows_cursor(configuration.get(), cursor);
  if (width != 0) p::configuration_set_width(configuration.get(), width);
  if (height != 0) p::configuration_set_height(configuration.get(), height);
  p::configuration_set_minimum_frame_interval(configuration.get(), 1, kFps);
  p::configuration_set_queue_depth(configuration.get(), 3);
  p::configuration_set_bgra_output(configuration.get());
  std::string error;
  p::Ref<p::Stream> stream(p::stream_create(filter, configuration.get(), &recorder, Recorder::sample,
                                            Recorder::stopped, &error));
  EXPECT_TRUE(stream) << error;
  if (!stream) return stream;
  Completion started;
  p::stream_start(stream.get(), &started, Completion::done);
  EXPECT_EQ(started.wait(), "");
  return stream;
}

// A rectangle drawn in `rgb`, done when this returns.
void fill(xcb_connection_t* c, xcb_drawable_t target, uint32_t rgb, int16_t x, int16_t y, uint16_t width,
          uint16_t height) {
  xcb_gcontext_t gc = xcb_generate_id(c);
  const uint32_t colour[] = {rgb};
  xcb_create_gc(c, gc, target, XCB_GC_FOREGROUND, colour);
  xcb_rectangle_t rect{x, y, width, height};
  xcb_poly_fill_rectangle(c, target, gc, 1, &rect);
  xcb_free_gc(c, gc);
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

class Streams : public linux_test::PrivateX {
 protected:
  void SetUp() override {
    PrivateX::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const uint32_t black[] = {0};
    create(0, 0, 640, 480, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, black);
    sync();
  }

  void kill_server() {
    kill(server_, SIGKILL);
    waitpid(server_, nullptr, 0);
    server_ = 0;
  }
  // Long enough for several frames to come if any were to.
  static void quiet() { std::this_thread::sleep_for(std::chrono::milliseconds(300)); }
};

TEST_F(Streams, ADisplayStreamTicksAtItsRateIdleUntilAWindowAppearsOrThePointerMoves) {
  Recorder r;
  r.probe_x = 20;
  r.probe_y = 20;
  p::Ref<p::ContentFilter> filter = display_filter(display().get());
  auto began = Clock::now();
  p::Ref<p::Stream> stream = start(filter.get(), r, true);
  ASSERT_TRUE(stream);

  ASSERT_TRUE(r.samples.wait_for(0, [](const Sample&) { return true; }));
  Sample first = r.samples.all()[0];
  EXPECT_EQ(first.status, p::frame_status::kStarted);
  ASSERT_TRUE(first.locked && first.rect && first.scale);
  EXPECT_EQ(std::vector<double>({first.rect->x, first.rect->y, first.rect->width, first.rect->height}),
            std::vector<double>({0, 0, 640, 480}));
  EXPECT_EQ(*first.scale, 1.0);
  EXPECT_EQ(first.probe, "#000000ff");  // opaque, though the screen has no alpha
  EXPECT_TRUE(r.idle_from(1, 5)) << "nothing changed, yet a frame came";

  const uint32_t red[] = {0xFF0000};
  create(10, 10, 50, 40, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, red);
  sync();
  size_t drawn = r.samples.count();
  ASSERT_TRUE(r.samples.wait_for(drawn, [](const Sample& s) {
    return s.status == p::frame_status::kComplete && s.probe == "#ff0000ff";
  }));
  size_t after = r.samples.count();
  ASSERT_TRUE(r.samples.wait_for(after, [](const Sample& s) { return s.status == p::frame_status::kIdle; }));

  xcb_warp_pointer(c_, XCB_NONE, root_, 0, 0, 0, 0, 200, 200);
  sync();
  size_t moved = r.samples.count();
  EXPECT_TRUE(r.samples.wait_for(moved, [](const Sample& s) { return s.status == p::frame_status::kComplete; }));

  ASSERT_TRUE(r.samples.wait_for(30, [](const Sample&) { return true; }));
  size_t count = 0;
  EXPECT_EQ(stop(stream.get(), &r, &count), "");
  double seconds = std::chrono::duration<double>(Clock::now() - began).count();
  EXPECT_GE(count, seconds * kFps / 3) << "over " << seconds << " s";
  EXPECT_LE(count, seconds * kFps * 2 + 2) << "over " << seconds << " s";

  quiet();
  EXPECT_EQ(r.samples.count(), count) << "a sample came after the stop completed";
  EXPECT_EQ(stop(stream.get()), "Stream error: The stream is not running");
  EXPECT_EQ(r.stops.count(), 0u);
}

// Where two images first differ, or "" when they are the same.
std::string difference(const seam_test::Shot& a, const seam_test::Shot& b) {
  if (a.width != b.width || a.height != b.height)
    return "sizes " + std::to_string(a.width) + "x" + std::to_string(a.height) + " and " +
           std::to_string(b.width) + "x" + std::to_string(b.height);
  for (size_t y = 0; y < a.height; ++y)
    for (size_t x = 0; x < a.width; ++x)
      if (a.at(x, y) != b.at(x, y))
        return "at " + std::to_string(x) + "," + std::to_string(y) + ": " + a.at(x, y) + " and " + b.at(x, y);
  return "";
}

TEST_F(Streams, ADisplayStreamsFramesAreTheScreenshotsOfTheirMomentWhereverTheScreenChanges) {
  // Shrunk by 2.56 and 2.53: most output pixels read parts of several source
  // pixels, and the last ones read more of the screen's edge.
  constexpr size_t kWidth = 250, kHeight = 190;
  set_red_cursor();
  point_at(300, 200);
  // Drawn on off the screen's corner, inside a border: its drawing is found
  // where it shows.
  constexpr int16_t kLeft = 23 + 2, kTop = 17 + 2;
  xcb_window_t canvas = xcb_generate_id(c_);
  const uint32_t colours[] = {0, 0x00FFFF};
  xcb_create_window(c_, XCB_COPY_FROM_PARENT, canvas, root_, kLeft - 2, kTop - 2, 640, 480, 2,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_BORDER_PIXEL,
                    colours);
  xcb_map_window(c_, canvas);
  sync();
  Recorder r;
  r.keep_pixels = true;
  p::Ref<p::ContentFilter> filter = display_filter(display().get());
  p::Ref<p::Stream> stream = start(filter.get(), r, true, kWidth, kHeight);
  ASSERT_TRUE(stream);

  // The last frame of the changes since sample `from`, once an Idle sample
  // says the stream has seen them all; compared with a screenshot of now.
  auto settled_frame_is_the_screenshot = [&](size_t from, const std::string& what) {
    size_t done = r.samples.count();
    ASSERT_TRUE(r.samples.wait_for(done + 1, [](const Sample& s) { return s.status == p::frame_status::kIdle; }))
        << what;
    auto all = r.samples.all();
    size_t idle = done + 1;
    while (all[idle].status != p::frame_status::kIdle) ++idle;
    const Sample* last = nullptr;
    for (size_t i = from; i < idle; ++i)
      if (all[i].status != p::frame_status::kIdle) last = &all[i];
    ASSERT_NE(last, nullptr) << what << ": no frame came";
    ASSERT_TRUE(last->locked) << what;
    EXPECT_EQ(difference(last->shot, seam_test::capture_first_display(kWidth, kHeight, true)), "") << what;
  };
  settled_frame_is_the_screenshot(0, "the first frame");

  // Small marks, a few at a time (screen coordinates): at the corners, on
  // edges between output pixels, under the pointer; the pointer moving off
  // and onto them; a window appearing, moving and going.
  std::mt19937 random(11);
  auto below = [&](uint32_t n) { return int16_t(random() % n); };
  const std::vector<std::array<int16_t, 4>> fixed{
      {kLeft, kTop, 3, 3}, {636, 476, 4, 4}, {296, 195, 9, 9}, {639, kTop, 1, 480 - kTop}};
  const uint32_t red[] = {0xFF0000};
  xcb_window_t note = 0;
  for (int step = 0; step < 12; ++step) {
    size_t from = r.samples.count();
    std::string what = "step " + std::to_string(step);
    for (int i = 0; i < 3; ++i) {
      std::array<int16_t, 4> mark{int16_t(kLeft + below(640 - kLeft)), int16_t(kTop + below(480 - kTop)),
                                  int16_t(1 + below(12)), int16_t(1 + below(12))};
      if (step < 2 && i < 2) mark = fixed[step * 2 + i];
      uint32_t colour = random() & 0xFFFFFF;
      fill(c_, canvas, colour, mark[0] - kLeft, mark[1] - kTop, uint16_t(mark[2]), uint16_t(mark[3]));
      what += " mark " + std::to_string(mark[0]) + "," + std::to_string(mark[1]);
    }
    if (step % 2 == 1) {
      int16_t x = step == 11 ? 637 : below(640), y = step == 11 ? 478 : below(480);
      point_at(x, y);
      what += " pointer " + std::to_string(x) + "," + std::to_string(y);
    }
    if (step == 4) {
      note = create(101, 121, 31, 19, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, red);
      what += " a window";
    } else if (step == 6) {
      const uint32_t place[] = {397, 303};
      xcb_configure_window(c_, note, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
      what += " moved";
    } else if (step == 8) {
      xcb_destroy_window(c_, note);
      what += " gone";
    }
    sync();
    settled_frame_is_the_screenshot(from, what);
  }
  EXPECT_EQ(stop(stream.get()), "");
  EXPECT_EQ(r.stops.count(), 0u);
}

TEST_F(Streams, AWindowStreamSeesItsOwnDrawingOnlyAndStopsWhenTheWindowIsDestroyed) {
  const uint32_t blue[] = {0x0000FF};
  xcb_window_t window = create(30, 40, 100, 80, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, blue);
  sync();
  Recorder r;
  r.probe_x = 5;
  r.probe_y = 5;
  p::Ref<p::ContentFilter> filter = window_filter(window);
  ASSERT_TRUE(filter);
  p::Ref<p::Stream> stream = start(filter.get(), r);
  ASSERT_TRUE(stream);

  ASSERT_TRUE(r.samples.wait_for(0, [](const Sample&) { return true; }));
  Sample first = r.samples.all()[0];
  EXPECT_EQ(first.status, p::frame_status::kStarted);
  ASSERT_TRUE(first.rect);
  EXPECT_EQ(std::vector<double>({first.rect->width, first.rect->height}), std::vector<double>({100, 80}));
  EXPECT_EQ(first.probe, "#0000ffff");

  // Drawn elsewhere: the window's stream does not take it for a change.
  const uint32_t green[] = {0x00FF00};
  create(300, 300, 50, 50, XCB_COPY_FROM_PARENT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL, green);
  fill(c_, root_, 0x00FF00, 500, 0, 20, 20);
  EXPECT_TRUE(r.idle_from(r.samples.count(), 5));

  fill(c_, window, 0xFF0000, 0, 0, 10, 10);
  ASSERT_TRUE(r.samples.wait_for(1, [](const Sample& s) {
    return s.status == p::frame_status::kComplete && s.probe == "#ff0000ff";
  }));

  xcb_destroy_window(c_, window);
  sync();
  ASSERT_TRUE(r.stops.wait_for(0, [](const Stop&) { return true; }));
  size_t count = r.samples.count();
  quiet();
  auto stops = r.stops.all();
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].code, kNoCaptureSource);
  EXPECT_EQ(stops[0].text, "Stream error: window " + std::to_string(window) + " was closed");
  EXPECT_EQ(r.samples.count(), count) << "a sample came after the stream stopped";
}

TEST_F(Streams, TheServerGoingAwayStopsARunningStreamAndNoOtherHearsOfIt) {
  p::Ref<p::ContentFilter> filter = display_filter(display().get());
  Recorder running, stopped, detached;
  std::promise<void> entered, leave;
  std::shared_future<void> left = leave.get_future().share();
  detached.during = [&, once = std::make_shared<std::atomic<bool>>(false)] {
    if (once->exchange(true)) return;
    entered.set_value();
    left.wait();
  };
  p::Ref<p::Stream> a = start(filter.get(), running);
  p::Ref<p::Stream> b = start(filter.get(), stopped);
  p::Ref<p::Stream> c = start(filter.get(), detached);
  auto* released = new Recorder;
  p::Ref<p::Stream> d = start(filter.get(), *released);
  ASSERT_TRUE(a && b && c && d);
  for (Recorder* r : {&running, &stopped, released})
    ASSERT_TRUE(r->samples.wait_for(2, [](const Sample&) { return true; }));

  size_t after_stop = 0;
  EXPECT_EQ(stop(b.get(), &stopped, &after_stop), "");

  // A detach waits for the handler that runs meanwhile.
  ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
  std::atomic<bool> returned{false};
  std::thread detaching([&] {
    p::stream_detach(c.get());
    returned = true;
  });
  quiet();
  EXPECT_FALSE(returned) << "the detach returned while a sample handler ran";
  leave.set_value();
  detaching.join();
  size_t after_detach = detached.samples.count();
  // Released while running: what it ran for goes with it (ASan sees a late call).
  p::release(d.take());
  delete released;

  kill_server();
  ASSERT_TRUE(running.stops.wait_for(0, [](const Stop&) { return true; }));
  quiet();
  auto stops = running.stops.all();
  ASSERT_EQ(stops.size(), 1u);
  EXPECT_EQ(stops[0].code, kConnectionInterrupted);
  EXPECT_EQ(stops[0].text, "Stream error: the X server closed the connection");
  EXPECT_EQ(stopped.stops.count() + detached.stops.count(), 0u);
  EXPECT_EQ(stopped.samples.count(), after_stop);
  EXPECT_EQ(detached.samples.count(), after_detach);
  // Still running for its caller: the stop succeeds, with nothing left to deliver.
  EXPECT_EQ(stop(c.get()), "");
}

using XorgStreams = linux_test::PrivateXorg;

TEST_F(XorgStreams, ADisplayStreamFollowsItsOutputAndStopsWhenItIsTurnedOff) {
  start_server();
  add_mode();
  ASSERT_EQ(xrandr({"--output", "DUMMY1", "--mode", "dc800x600", "--right-of", "DUMMY0"}), 0);
  p::Ref<p::ScDisplay> dummy1 = display("DUMMY1");
  ASSERT_TRUE(dummy1);
  Recorder r;
  r.probe_x = 5;
  r.probe_y = 5;
  p::Ref<p::ContentFilter> filter = display_filter(dummy1.get());
  p::Ref<p::Stream> stream = start(filter.get(), r);
  ASSERT_TRUE(stream);
  ASSERT_TRUE(r.samples.wait_for(0, [](const Sample& s) { return s.rect && s.rect->width == 800; }));

  // Moved below the other, with a mark where its corner is now: the stream
  // grabs the new place (the old one is off the shrunk screen).
  ASSERT_EQ(xrandr({"--output", "DUMMY1", "--below", "DUMMY0"}), 0);
  std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> c(xcb_connect(nullptr, nullptr), xcb_disconnect);
  ASSERT_EQ(xcb_connection_has_error(c.get()), 0);
  fill(c.get(), xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root, 0xFF0000, 0, 768, 10, 10);
  EXPECT_TRUE(r.samples.wait_for(1, [](const Sample& s) { return s.probe == "#ff0000ff"; }));
  EXPECT_EQ(r.stops.count(), 0u);

  ASSERT_EQ(xrandr({"--output", "DUMMY1", "--off"}), 0);
  ASSERT_TRUE(r.stops.wait_for(0, [](const Stop&) { return true; }));
  Stop stopped = r.stops.all()[0];
  EXPECT_EQ(stopped.code, kNoCaptureSource);
  EXPECT_EQ(stopped.text, "Stream error: display " + std::to_string(p::sc_display_id(dummy1.get())) + " was removed");
}

TEST(StreamImages, AnImageOverCallerRowsReadsThemWhereTheyAre) {
  // 3 x 2 pixels in rows of 16 bytes: B G R A, premultiplied.
  std::vector<uint8_t> rows(32, 0xEE);
  const uint8_t pixels[2][3][4] = {{{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}},
                                   {{0, 0, 0, 0}, {64, 64, 64, 128}, {255, 255, 255, 255}}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      for (int k = 0; k < 4; ++k) rows[y * 16 + x * 4 + k] = pixels[y][x][k];
  EXPECT_EQ(p::image_create_bgra(rows.data(), 3, 2, 11), nullptr);  // rows shorter than the width
  p::Ref<p::Image> image(p::image_create_bgra(rows.data(), 3, 2, 16));
  ASSERT_TRUE(image);
  EXPECT_EQ(p::image_width(image.get()), 3u);
  EXPECT_EQ(p::image_height(image.get()), 2u);

  std::vector<uint8_t> rgba(3 * 4);
  ASSERT_TRUE(p::draw_image_rows_rgba(image.get(), 3, 2, 1, 1, rgba.data()));
  EXPECT_EQ(rgba, (std::vector<uint8_t>{0, 0, 0, 0, 64, 64, 64, 128, 255, 255, 255, 255}));
  rows[16 + 2] = 200;  // not a copy: a change shows
  ASSERT_TRUE(p::draw_image_rows_rgba(image.get(), 3, 2, 1, 1, rgba.data()));
  EXPECT_EQ(rgba[0], 200);

  std::vector<uint8_t> jpeg;
  std::optional<std::string> failed = p::image_encode_jpeg(image.get(), 90, &jpeg);
  if (failed) GTEST_SKIP() << *failed;
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 2), (std::vector<uint8_t>{0xFF, 0xD8}));
}

}  // namespace
#endif
