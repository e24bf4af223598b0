// Reading the world's "screen" section, and the screenshot probe.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

#include "platform/fake/screen_fake.h"

namespace deskcap::fake::screen {
namespace {

// A broken section is a broken test set-up: say which entry and go on.
void warn(const std::string& what) {
  std::fprintf(stderr, "deskcap fake world: screen: %s\n", what.c_str());
}

std::optional<double> number(const json& o, const char* key) {
  if (!o.is_object()) return std::nullopt;
  auto it = o.find(key);
  if (it == o.end() || !it->is_number()) return std::nullopt;
  return it->get<double>();
}

std::optional<uint32_t> u32(const json& o, const char* key) {
  auto v = number(o, key);
  if (!v || *v < 0 || *v > 4294967295.0 || *v != std::floor(*v)) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

bool flag(const json& o, const char* key, bool fallback) {
  if (!o.is_object()) return fallback;
  auto it = o.find(key);
  return it != o.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

// "#rrggbb", "#rrggbbaa", [r, g, b] or [r, g, b, a].
std::optional<Colour> colour(const json& v) {
  Colour c;
  if (v.is_string()) {
    const std::string& s = v.get_ref<const std::string&>();
    if ((s.size() != 7 && s.size() != 9) || s[0] != '#') return std::nullopt;
    auto bytes = from_hex(std::string_view(s).substr(1));
    if (!bytes) return std::nullopt;
    uint8_t parts[4] = {0, 0, 0, 255};
    for (size_t i = 0; i < bytes->size(); ++i) parts[i] = static_cast<uint8_t>((*bytes)[i]);
    return Colour{parts[0], parts[1], parts[2], parts[3]};
  }
  if (v.is_array() && (v.size() == 3 || v.size() == 4)) {
    uint8_t parts[4] = {0, 0, 0, 255};
    for (size_t i = 0; i < v.size(); ++i) {
      if (!v[i].is_number()) return std::nullopt;
      double d = v[i].get<double>();
      if (d < 0 || d > 255) return std::nullopt;
      parts[i] = static_cast<uint8_t>(d);
    }
    return Colour{parts[0], parts[1], parts[2], parts[3]};
  }
  return std::nullopt;
}

Colour colour_field(const json& o, const char* key, Colour fallback, const std::string& where) {
  if (!o.is_object() || !o.contains(key)) return fallback;
  auto c = colour(o[key]);
  if (!c) {
    warn(where + ": \"" + key + "\" is not a colour (\"#rrggbb\", \"#rrggbbaa\" or [r,g,b(,a)])");
    return fallback;
  }
  return *c;
}

platform::Rect rect_field(const json& o, const char* key, platform::Rect fallback) {
  if (!o.is_object() || !o.contains(key) || !o[key].is_object()) return fallback;
  const json& r = o[key];
  return platform::Rect{number(r, "x").value_or(fallback.x), number(r, "y").value_or(fallback.y),
                        number(r, "width").value_or(fallback.width),
                        number(r, "height").value_or(fallback.height)};
}

Behaviour behaviour(const json& o, const char* prefix_for_warnings) {
  Behaviour b;
  if (!o.is_object()) return b;
  b.delivery = o;
  bool has_error = false;
  if (o.contains("error") && o["error"].is_string()) {
    b.description = o["error"].get<std::string>();
    has_error = true;
  }
  // Bytes of a description that is not valid UTF-8 (JSON text cannot hold one).
  if (o.contains("errorBytes") && o["errorBytes"].is_array()) {
    b.description.clear();
    for (const auto& byte : o["errorBytes"])
      if (byte.is_number_integer() && byte.get<int64_t>() >= 0 && byte.get<int64_t>() <= 255)
        b.description.push_back(static_cast<char>(byte.get<int64_t>()));
    has_error = true;
  }
  std::string outcome = o.value("outcome", std::string(has_error ? "error" : "ok"));
  if (outcome == "ok") {
    b.outcome = Behaviour::Outcome::Ok;
  } else if (outcome == "error") {
    b.outcome = Behaviour::Outcome::Error;
  } else if (outcome == "none") {
    b.outcome = Behaviour::Outcome::None;
  } else {
    warn(std::string(prefix_for_warnings) + ": unknown outcome \"" + outcome + "\"");
  }
  return b;
}

DisplaySpec read_display(const json& d, size_t index) {
  std::string where = "displays[" + std::to_string(index) + "]";
  DisplaySpec s;
  s.id = u32(d, "id").value_or(0);
  s.bounds = rect_field(d, "bounds", s.bounds);
  s.main = flag(d, "main", false);
  s.active = flag(d, "active", true);
  s.in_content = flag(d, "inContent", true);
  s.background = colour_field(d, "background", s.background, where);
  auto mode = d.find("mode");
  if (mode != d.end() && mode->is_null()) {
    s.has_mode = false;
  } else if (mode != d.end() && mode->is_object()) {
    s.mode_width = static_cast<size_t>(number(*mode, "width").value_or(0));
    s.mode_pixel_width = static_cast<size_t>(number(*mode, "pixelWidth").value_or(0));
  } else {
    double scale = number(d, "scale").value_or(1.0);
    double w = s.bounds.width > 0 ? s.bounds.width : 0;
    s.mode_width = static_cast<size_t>(w);
    s.mode_pixel_width = static_cast<size_t>(std::llround(w * scale));
  }
  return s;
}

WindowSpec read_window(const json& w, size_t index) {
  std::string where = "windows[" + std::to_string(index) + "]";
  WindowSpec s;
  s.order = index;
  s.id = u32(w, "id").value_or(0);
  s.frame = rect_field(w, "frame", s.frame);
  s.pid = static_cast<int32_t>(number(w, "pid").value_or(0));
  if (w.contains("title") && w["title"].is_string()) s.title = w["title"].get<std::string>();
  s.fill = colour_field(w, "fill", s.fill, where);
  s.z = number(w, "z").value_or(0);
  s.on_screen = flag(w, "onScreen", true);
  s.desktop = flag(w, "desktop", false);
  s.in_content = flag(w, "inContent", true);
  s.scale = number(w, "scale");
  if (w.contains("pattern") && w["pattern"].is_object()) {
    const json& p = w["pattern"];
    std::string kind = p.value("kind", std::string("checker"));
    if (kind == "checker") {
      s.pattern.kind = Pattern::Kind::Checker;
    } else if (kind == "stripes") {
      s.pattern.kind = Pattern::Kind::Stripes;
    } else {
      warn(where + ": unknown pattern kind \"" + kind + "\"");
    }
    s.pattern.colour = colour_field(p, "color", Colour{0, 0, 0, 255}, where + ".pattern");
    double size = number(p, "size").value_or(8);
    s.pattern.size = size > 0 ? size : 8;
  }
  return s;
}

Model load(const json& world) {
  Model m;
  static const json& empty = *new json(json::object());
  auto it = world.find("screen");
  const json& s = it != world.end() && it->is_object() ? *it : empty;

  // The one desktop's lists (base_world_reader folds the old section names in).
  if (world.contains("displays") && world["displays"].is_array()) {
    size_t i = 0;
    for (const auto& d : world["displays"]) m.displays.push_back(read_display(d, i++));
  }
  if (world.contains("windows") && world["windows"].is_array()) {
    size_t i = 0;
    for (const auto& w : world["windows"]) m.windows.push_back(read_window(w, i++));
  }

  m.main_display_id = u32(s, "mainDisplayId");
  if (s.contains("displayList") && s["displayList"].is_object()) {
    const json& l = s["displayList"];
    m.display_count_error = static_cast<int32_t>(number(l, "countError").value_or(0));
    m.display_list_error = static_cast<int32_t>(number(l, "listError").value_or(0));
    m.display_list_count = u32(l, "listCount");
  }

  m.content = behaviour(s.value("content", json()), "content");
  const json& permission = s.contains("permission") ? s["permission"] : json();
  if (permission == "denied") m.screen_recording = false;
  else if (permission == "unknown") m.screen_recording = std::nullopt;
  if (m.screen_recording == false && m.content.outcome == Behaviour::Outcome::Ok) {
    m.content.outcome = Behaviour::Outcome::Error;
    m.content.description = "The user declined TCCs for application, window, display capture";
  }
  const json& request = s.contains("permissionRequest") ? s["permissionRequest"] : json();
  m.request_answer = request.is_boolean() ? request.get<bool>() : m.screen_recording == true;
  json shot = s.value("screenshot", json());
  m.screenshot = behaviour(shot, "screenshot");
  if (shot.is_object() && shot.contains("imageSize")) {
    auto w = u32(shot["imageSize"], "width"), h = u32(shot["imageSize"], "height");
    if (w && h) m.screenshot_size = std::make_pair(size_t{*w}, size_t{*h});
  }
  if (shot.is_object()) m.overlap_penalty_ms = std::max(0.0, number(shot, "overlapPenaltyMs").value_or(0));
  if (s.contains("cursor") && s["cursor"].is_object()) {
    const json& c = s["cursor"];
    WindowSpec pointer;
    pointer.frame = platform::Rect{number(c, "x").value_or(0), number(c, "y").value_or(0),
                                   number(c, "width").value_or(12), number(c, "height").value_or(18)};
    pointer.fill = colour_field(c, "color", Colour{255, 0, 255, 255}, "cursor");
    m.cursor = pointer;
  }
  if (s.contains("stream") && s["stream"].is_object()) {
    const json& st = s["stream"];
    m.stream.start = behaviour(st.value("start", json()), "stream.start");
    m.stream.stop = behaviour(st.value("stop", json()), "stream.stop");
    m.stream.still = flag(st, "still", false);
    if (auto n = number(st, "stopAfterFrames")) m.stream.stop_after_frames = static_cast<uint64_t>(std::max(0.0, *n));
    if (auto code = number(st, "stopCode")) m.stream.stop_code = static_cast<int64_t>(*code);
    if (st.contains("stopError") && st["stopError"].is_string()) m.stream.stop_error = st["stopError"].get<std::string>();
    if (st.contains("outputError") && st["outputError"].is_string())
      m.stream.output_error = st["outputError"].get<std::string>();
  }
  if (s.contains("pixels") && s["pixels"].is_object()) {
    m.pixels_fail = flag(s["pixels"], "fail", false);
    m.pixels_draw_empty = flag(s["pixels"], "drawEmpty", false);
  }
  if (s.contains("probes") && s["probes"].is_object() && s["probes"].contains("file") &&
      s["probes"]["file"].is_string())
    m.probe_file = s["probes"]["file"].get<std::string>();
  return m;
}

struct ModelState {
  std::shared_ptr<const Model> model;
};

struct ProbeState {
  std::shared_ptr<Probe> probe;
};

}  // namespace

double DisplaySpec::scale() const {
  if (!has_mode || mode_width == 0) return 1.0;
  return static_cast<double>(mode_pixel_width) / static_cast<double>(mode_width);
}

const DisplaySpec* Model::display(uint32_t id) const {
  for (const auto& d : displays)
    if (d.id == id) return &d;
  return nullptr;
}

const WindowSpec* Model::window(uint32_t id) const {
  for (const auto& w : windows)
    if (w.id == id) return &w;
  return nullptr;
}

double Model::window_scale(const WindowSpec& w) const {
  if (w.scale) return *w.scale;
  // The display under the window's centre, else the one it overlaps most.
  double cx = w.frame.x + w.frame.width / 2, cy = w.frame.y + w.frame.height / 2;
  const DisplaySpec* best = nullptr;
  double best_overlap = 0;
  for (const auto& d : displays) {
    const auto& b = d.bounds;
    if (cx >= b.x && cx < b.x + b.width && cy >= b.y && cy < b.y + b.height) return d.scale();
    double ox = std::min(w.frame.x + w.frame.width, b.x + b.width) - std::max(w.frame.x, b.x);
    double oy = std::min(w.frame.y + w.frame.height, b.y + b.height) - std::max(w.frame.y, b.y);
    if (ox > 0 && oy > 0 && ox * oy > best_overlap) {
      best_overlap = ox * oy;
      best = &d;
    }
  }
  if (best) return best->scale();
  for (const auto& d : displays)
    if (d.main) return d.scale();
  return displays.empty() ? 1.0 : displays.front().scale();
}

std::shared_ptr<const Model> model() {
  static auto& state = *new SectionState<ModelState>(
      {"applications", "windows", "displays", "screen"}, [](ModelState& s, const json& world) { s.model = std::make_shared<const Model>(load(world)); });
  return state.with([](ModelState& s) { return s.model; });
}

std::shared_ptr<Probe> probe() {
  // The counters run from one set_world to the next, across changes.
  static auto& state = *new SectionState<ProbeState>({}, [](ProbeState& s, const json&) {
    s.probe = std::make_shared<Probe>(model()->probe_file);
  });
  return state.with([](ProbeState& s) { return s.probe; });
}

void Probe::content_fetched() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++fetches_;
  write_locked();
}

double Probe::screenshot_started(json request, uint32_t id, double penalty_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  last_request_ = std::move(request);
  // Bounded, so that a long run does not rewrite an ever longer probe file.
  constexpr size_t kOrderKept = 64;
  order_.push_back(id);
  if (order_.size() > kOrderKept) order_.pop_front();
  const double penalty = penalty_ms * static_cast<double>(in_flight_);
  penalty_ms_ += penalty;
  ++started_;
  ++in_flight_;
  if (in_flight_ > max_in_flight_) max_in_flight_ = in_flight_;
  write_locked();
  return penalty;
}

void Probe::screenshot_finished(double paint_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  paint_ms_ += paint_ms;
  ++finished_;
  --in_flight_;
  write_locked();
}

json Probe::snapshot() {
  std::lock_guard<std::mutex> lock(mutex_);
  return document_locked();
}

json Probe::document_locked() const {
  return {{"contentFetches", fetches_},
          {"screenshotsStarted", started_},
          {"screenshotsFinished", finished_},
          {"screenshotsInFlight", in_flight_},
          {"maxScreenshotsInFlight", max_in_flight_},
          {"paintMs", paint_ms_},
          {"overlapPenaltyMs", penalty_ms_},
          {"lastScreenshot", last_request_},
          {"screenshotOrder", order_}};
}

// Written whole to a side file and renamed, so a reader never sees half of it.
void Probe::write_locked() {
  if (file_.empty()) return;
  json doc = document_locked();
  std::string side = file_ + ".tmp";
  {
    std::ofstream out(side, std::ios::trunc);
    if (!out) {
      warn("cannot write the probe file " + side);
      return;
    }
    out << doc.dump() << "\n";
  }
  if (std::rename(side.c_str(), file_.c_str()) != 0) warn("cannot rename " + side + " to " + file_);
}

}  // namespace deskcap::fake::screen
