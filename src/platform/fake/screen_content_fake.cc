// ScreenCaptureKit over the world's "screen" section: shareable content, its
// lists, content filters, stream configurations and screenshots.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <unordered_set>

#include "platform/bridge_text.h"
#include "platform/fake/screen_fake.h"
#include "platform/shared/image_scale_shared.h"

namespace deskcap::platform {
namespace {

using fake::screen::Behaviour;
using fake::screen::Model;

template <class T>
Object* as_object(T* p) {
  return reinterpret_cast<Object*>(static_cast<fake::FakeObject*>(p));
}

template <class T>
T* retained(T* p) {
  retain(p);
  return p;
}

ShareableContent* make_content(const std::shared_ptr<const Model>& m, bool exclude_desktop_windows,
                               bool on_screen_windows_only) {
  auto* content = new ShareableContent();
  for (const auto& d : m->displays) {
    if (!d.in_content) continue;
    auto* display = new ScDisplay();
    display->entry = d;
    display->model = m;
    content->displays.emplace_back(display);
  }
  for (const auto& w : m->windows) {
    if (!w.in_content) continue;
    if (exclude_desktop_windows && w.desktop) continue;
    if (on_screen_windows_only && !w.on_screen) continue;
    auto* window = new ScWindow();
    window->entry = w;
    window->model = m;
    content->windows.emplace_back(window);
  }
  return content;
}

// Hands a behaviour's outcome to the completion: the object made by `make`,
// the framework-side text, or nothing at all.
template <class Make>
void complete(const Behaviour& b, std::string (*failure_text)(const std::string&), void* context,
              CompletionCallback completion, Make make) {
  switch (b.outcome) {
    case Behaviour::Outcome::Ok:
      completion(context, make(), nullptr);
      return;
    case Behaviour::Outcome::Error: {
      std::string text = failure_text(b.description);
      completion(context, nullptr, text.c_str());
      return;
    }
    case Behaviour::Outcome::None:
      completion(context, nullptr, nullptr);
      return;
  }
}

size_t natural(double points, double scale) {
  double v = points * scale;
  if (!(v > 0)) return 0;
  return static_cast<size_t>(std::llround(v));
}

bool contains_window(const std::vector<Ref<ScWindow>>& list, uint32_t id) {
  for (const auto& w : list)
    if (w.get()->entry.id == id) return true;
  return false;
}

// Windows the filter lets onto its display, front to back.
std::vector<const fake::screen::WindowSpec*> shown_windows(const ContentFilter& f, const Model& m) {
  std::vector<const fake::screen::WindowSpec*> shown;
  for (const auto& w : m.windows) {
    if (!w.on_screen) continue;
    bool listed = contains_window(f.windows, w.id);
    bool keep = true;
    switch (f.kind) {
      case ContentFilter::Kind::DisplayExcludingWindows: keep = !listed; break;
      case ContentFilter::Kind::DesktopIndependentWindow: keep = false; break;
    }
    if (keep) shown.push_back(&w);
  }
  // Higher z in front; for equal z the section's order (first is frontmost).
  std::stable_sort(shown.begin(), shown.end(),
                   [](const auto* a, const auto* b) { return a->z > b->z; });
  return shown;
}

}  // namespace

Image* render_image(const ContentFilter& f, const StreamConfiguration& c,
                    const std::optional<std::pair<size_t, size_t>>& forced_size) {
  auto* image = new Image();
  Rect source;
  double scale = 1;
  if (f.kind == ContentFilter::Kind::DesktopIndependentWindow) {
    const auto& w = f.window.get()->entry;
    source = Rect{0, 0, w.frame.width, w.frame.height};
    scale = f.window.get()->model->window_scale(w);
  } else {
    const auto& d = f.display.get()->entry;
    source = Rect{0, 0, d.bounds.width, d.bounds.height};
    scale = d.scale();
  }
  if (c.source_rect) source = *c.source_rect;
  const size_t natural_width = natural(source.width, scale), natural_height = natural(source.height, scale);
  image->width = c.width != 0 ? c.width : natural_width;
  image->height = c.height != 0 ? c.height : natural_height;
  if (forced_size) {
    image->width = forced_size->first;
    image->height = forced_size->second;
  }
  // A smaller size is painted at the source's own pixels and scaled down, as
  // the window server does, so that it shows averaged pixels.
  const bool shrink = !forced_size && image->width != 0 && image->height != 0 &&
                      image->width <= natural_width && image->height <= natural_height &&
                      (image->width < natural_width || image->height < natural_height);
  const size_t paint_width = shrink ? natural_width : image->width;
  const size_t paint_height = shrink ? natural_height : image->height;
  constexpr size_t kMaxBytes = size_t{1} << 30;
  if (paint_width != 0 && paint_height > kMaxBytes / 4 / paint_width) {
    release(image);
    return nullptr;
  }
  if (f.kind == ContentFilter::Kind::DesktopIndependentWindow) {
    image->bgra = fake::screen::render_window(f.window.get()->entry, source, paint_width, paint_height);
  } else {
    const auto& display = *f.display.get();
    auto shown = shown_windows(f, *display.model);
    if (c.shows_cursor && display.model->cursor) shown.insert(shown.begin(), &*display.model->cursor);
    image->bgra = fake::screen::render_display(display.entry, shown, source, paint_width, paint_height);
  }
  if (shrink) {
    std::vector<uint8_t> painted = std::move(image->bgra);
    image->bgra.resize(image->width * image->height * 4);
    shared::scale_down_area(painted.data(), paint_width, paint_height, paint_width * 4, image->bgra.data(),
                            image->width, image->height, image->width * 4);
  }
  return image;
}

namespace {

const char* kind_name(ContentFilter::Kind kind) {
  switch (kind) {
    case ContentFilter::Kind::DesktopIndependentWindow: return "desktopIndependentWindow";
    case ContentFilter::Kind::DisplayExcludingWindows: return "displayExcludingWindows";
  }
  return "";
}

// The probe's record of a screenshot request.
fake::json describe(const ContentFilter* f, const StreamConfiguration* c) {
  fake::json filter = nullptr, configuration = nullptr;
  if (f != nullptr) {
    filter = {{"kind", kind_name(f->kind)}};
    if (f->display) filter["displayId"] = f->display.get()->entry.id;
    if (f->window) filter["windowId"] = f->window.get()->entry.id;
    fake::json windows = fake::json::array();
    for (const auto& w : f->windows) windows.push_back(w.get()->entry.id);
    filter["windowIds"] = windows;
  }
  if (c != nullptr) {
    configuration = {{"width", c->width}, {"height", c->height}, {"showsCursor", c->shows_cursor}};
    if (c->source_rect)
      configuration["sourceRect"] = {{"x", c->source_rect->x},
                                     {"y", c->source_rect->y},
                                     {"width", c->source_rect->width},
                                     {"height", c->source_rect->height}};
  }
  return {{"filter", filter}, {"configuration", configuration}};
}

}  // namespace

void get_shareable_content(bool exclude_desktop_windows, bool on_screen_windows_only,
                           void* context, CompletionCallback completion) {
  auto m = fake::screen::model();
  fake::screen::probe()->content_fetched();
  fake::deliver(m->content.delivery, [=] {
    complete(m->content, bridge_text::content_unavailable, context, completion, [&] {
      return as_object(make_content(m, exclude_desktop_windows, on_screen_windows_only));
    });
  });
}

void capture_image(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                   CompletionCallback completion) {
  auto m = fake::screen::model();
  auto probe = fake::screen::probe();
  // The request keeps what it was given until it completes, like the framework.
  auto held = std::make_shared<std::pair<Ref<ContentFilter>, Ref<StreamConfiguration>>>(
      Ref<ContentFilter>(retained(filter)), Ref<StreamConfiguration>(retained(configuration)));
  uint32_t shown = 0;
  if (filter != nullptr && filter->window) shown = filter->window.get()->entry.id;
  else if (filter != nullptr && filter->display) shown = filter->display.get()->entry.id;
  fake::json delivery = m->screenshot.delivery;
  const double penalty = probe->screenshot_started(describe(filter, configuration), shown, m->overlap_penalty_ms);
  if (penalty > 0 && delivery.is_object())
    delivery["delayMs"] = delivery.value("delayMs", 0.0) + penalty;
  fake::deliver(delivery, [=]() mutable {
    Object* image = nullptr;
    Behaviour outcome = m->screenshot;
    auto painting = std::chrono::steady_clock::now();
    if (outcome.outcome == Behaviour::Outcome::Ok && held->first && held->second) {
      if (Image* painted = render_image(*held->first.get(), *held->second.get(), m->screenshot_size)) {
        image = as_object(painted);
      } else {
        outcome.outcome = Behaviour::Outcome::Error;
        outcome.description = "the fake world does not paint images of more than 1 GiB";
      }
    }
    // Let go before completing, so that a waiter that wakes finds everything
    // of the request released.
    held.reset();
    probe->screenshot_finished(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - painting).count());
    complete(outcome, bridge_text::screenshot_error, context, completion, [&] { return image; });
  });
}

namespace {

template <class T>
std::vector<Ref<T>> copy_all(ShareableContent* content, std::vector<Ref<T>> ShareableContent::*list) {
  std::vector<Ref<T>> out;
  if (!content) return out;
  out.reserve((content->*list).size());
  for (const auto& item : content->*list) out.emplace_back(retained(item.get()));
  return out;
}

}  // namespace

std::vector<Ref<ScDisplay>> content_displays_copy(ShareableContent* content) {
  return copy_all(content, &ShareableContent::displays);
}
std::vector<Ref<ScWindow>> content_windows_copy(ShareableContent* content) {
  return copy_all(content, &ShareableContent::windows);
}

uint32_t sc_display_id(ScDisplay* display) { return display ? display->entry.id : 0; }
uint32_t sc_window_id(ScWindow* window) { return window ? window->entry.id : 0; }
Rect sc_window_frame(ScWindow* window) { return window ? window->entry.frame : Rect{}; }

namespace {

std::vector<Ref<ScWindow>> retain_all(const std::vector<ScWindow*>& windows) {
  std::vector<Ref<ScWindow>> out;
  for (auto* w : windows)
    if (w) out.emplace_back(retained(w));
  return out;
}

// Like the framework's initialisers, nil in gives nil out.
ContentFilter* display_filter(ContentFilter::Kind kind, ScDisplay* display,
                              const std::vector<ScWindow*>& windows) {
  if (display == nullptr) return nullptr;
  auto* f = new ContentFilter();
  f->kind = kind;
  f->display = Ref<ScDisplay>(retained(display));
  f->windows = retain_all(windows);
  return f;
}

}  // namespace

ContentFilter* filter_with_desktop_independent_window(ScWindow* window) {
  if (window == nullptr) return nullptr;
  auto* f = new ContentFilter();
  f->kind = ContentFilter::Kind::DesktopIndependentWindow;
  f->window = Ref<ScWindow>(retained(window));
  return f;
}

ContentFilter* filter_with_display_excluding_windows(ScDisplay* display,
                                                     const std::vector<ScWindow*>& windows) {
  return display_filter(ContentFilter::Kind::DisplayExcludingWindows, display, windows);
}

float filter_point_pixel_scale(ContentFilter* filter) {
  if (filter == nullptr) return 1.0f;
  if (filter->kind == ContentFilter::Kind::DesktopIndependentWindow)
    return static_cast<float>(filter->window.get()->model->window_scale(filter->window.get()->entry));
  return static_cast<float>(filter->display.get()->entry.scale());
}

StreamConfiguration* configuration_create() { return new StreamConfiguration(); }
void configuration_set_width(StreamConfiguration* c, size_t width) { c->width = width; }
void configuration_set_height(StreamConfiguration* c, size_t height) { c->height = height; }
void configuration_set_shows_cursor(StreamConfiguration* c, bool shows_cursor) {
  c->shows_cursor = shows_cursor;
}
void configuration_set_source_rect(StreamConfiguration* c, Rect rect) { c->source_rect = rect; }

}  // namespace deskcap::platform
