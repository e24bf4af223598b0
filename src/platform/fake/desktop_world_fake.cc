// The desktop facilities' view of the world: the one desktop's applications,
// windows and displays, and the "desktop" section's own fields.
#include <algorithm>
#include <atomic>
#include <limits>
#include <map>

#include "platform/fake/desktop_fake.h"
#include "platform/fake/base_world_fake.h"

namespace deskcap::fake {
namespace {

std::atomic<long> g_calls[4];
std::atomic<uint32_t> g_last_options{0};
std::atomic<uint32_t> g_last_relative{0};

double number(const json& object, const char* key, double fallback = 0) {
  if (!object.is_object()) return fallback;
  auto it = object.find(key);
  return it != object.end() && it->is_number() ? it->get<double>() : fallback;
}

std::optional<int64_t> integer(const json& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end() || !it->is_number()) return std::nullopt;
  if (it->is_number_float()) return static_cast<int64_t>(it->get<double>());
  return it->get<int64_t>();
}

std::optional<std::string> text(const json& object, const char* key) {
  if (!object.is_object()) return std::nullopt;
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool flag(const json& object, const char* key, bool fallback) {
  if (!object.is_object()) return fallback;
  auto it = object.find(key);
  return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

int32_t status(const json& object, const char* key) {
  return static_cast<int32_t>(integer(object, key).value_or(0));
}

std::optional<uint32_t> size(const json& object, const char* key) {
  auto v = integer(object, key);
  if (!v || *v < 0 || *v > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(*v);
}

platform::Rect rect(const json& object) {
  return platform::Rect{number(object, "x"), number(object, "y"), number(object, "width"),
                        number(object, "height")};
}

const json& member(const json& object, const char* key) {
  static const json& none = *new json();
  if (!object.is_object()) return none;
  auto it = object.find(key);
  return it == object.end() ? none : *it;
}

// The window list's answer for one window of the desktop.
ListedWindow listed(const json& w, const std::map<int64_t, std::string>& names) {
  ListedWindow entry;
  platform::WindowInfo& info = entry.info;
  const json& pid = member(w, "pid");
  if (pid.is_number()) info.owner_pid = integer(w, "pid");
  else if (!w.contains("pid")) info.owner_pid = 0;
  const json& layer = member(w, "layer");
  if (layer.is_number()) info.layer = integer(w, "layer");
  else if (!w.contains("layer")) info.layer = 0;
  std::string bounds = text(w, "listBounds").value_or("present");
  info.has_bounds = bounds != "absent";
  info.bounds_valid = bounds == "present";
  if (info.bounds_valid) {
    const json& frame = member(w, "frame");
    info.bounds = frame.is_object() ? platform::Rect{number(frame, "x"), number(frame, "y"),
                                                     number(frame, "width", 800), number(frame, "height", 600)}
                                    : platform::Rect{0, 0, 800, 600};
  }
  info.number = size(w, "id").value_or(0);
  if (info.owner_pid) {
    auto name = names.find(*info.owner_pid);
    if (name != names.end()) info.owner_name = name->second;
  }
  if (!flag(w, "titleWithheld", false)) info.name = text(w, "title").value_or("");
  entry.on_screen = flag(w, "onScreen", true);
  entry.desktop_element = flag(w, "desktop", false);
  return entry;
}

// A display's screen: its bounds, and the camera housing either given as
// "notch" or in NSScreen's own terms.
platform::ScreenInfo screen_of(const json& d) {
  platform::ScreenInfo screen;
  const json& bounds = member(d, "bounds");
  screen.frame = bounds.is_object() ? platform::Rect{number(bounds, "x"), number(bounds, "y"),
                                                     number(bounds, "width", 1920), number(bounds, "height", 1080)}
                                    : platform::Rect{0, 0, 1920, 1080};
  const json& notch = member(d, "notch");
  if (notch.is_object()) {
    double height = number(notch, "height");
    double side = (screen.frame.width - number(notch, "width")) / 2;
    screen.safe_area_top = height;
    screen.auxiliary_top_left = {screen.frame.x, screen.frame.y, side, height};
    screen.auxiliary_top_right = {screen.frame.x + screen.frame.width - side, screen.frame.y, side, height};
  }
  if (d.contains("safeAreaTop")) screen.safe_area_top = number(d, "safeAreaTop");
  if (d.contains("auxiliaryTopLeft")) screen.auxiliary_top_left = rect(member(d, "auxiliaryTopLeft"));
  if (d.contains("auxiliaryTopRight")) screen.auxiliary_top_right = rect(member(d, "auxiliaryTopRight"));
  return screen;
}

void load(DesktopWorld& world, const json& document) {
  const json& desktop = member(document, "desktop");

  std::map<int64_t, std::string> names;  // pid -> the first application's name
  const json& applications = member(document, "applications");
  if (applications.is_array()) {
    for (const json& a : applications) {
      platform::RunningApplication app;
      app.bundle_identifier = text(a, "bundleId");
      app.process_identifier = static_cast<int32_t>(integer(a, "pid").value_or(0));
      if (auto name = text(a, "name")) names.emplace(app.process_identifier, *name);
      // A pending application has launched but is not in the list until the main run loop turns.
      auto& list = flag(a, "pending", false) ? world.pending_applications : world.applications;
      list.push_back(std::move(app));
    }
  }

  world.window_list_available = flag(desktop, "windowListAvailable", true);
  const json& windows = member(document, "windows");
  if (windows.is_array()) {
    // Front to back, as the screenshots stack them: higher z first, then list order.
    std::vector<std::pair<double, const json*>> order;
    for (const json& w : windows) order.emplace_back(number(w, "z"), &w);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [z, w] : order) world.windows.push_back(listed(*w, names));
  }

  const json& displays = member(document, "displays");
  if (displays.is_array())
    for (const json& d : displays)
      if (flag(d, "active", true)) world.screens.push_back(screen_of(d));

  const json& audio = member(desktop, "audio");
  world.process_object_list = flag(audio, "processObjectList", true);
  world.list_size_status = status(audio, "listSizeStatus");
  world.list_read_status = status(audio, "listReadStatus");
  world.list_size = size(audio, "listSize");
  world.list_read_size = size(audio, "listReadSize");
  uint32_t next_id = 100;
  for (const json& p : member(audio, "processes")) {
    FakeAudioProcess process;
    process.object_id = size(p, "objectId").value_or(next_id);
    next_id = process.object_id + 1;
    const json& running = member(p, "runningInput");
    if (running.is_boolean()) process.running_input = running.get<bool>() ? 1 : 0;
    else if (running.is_number()) process.running_input = static_cast<uint32_t>(integer(p, "runningInput").value_or(0));
    process.running_input_status = status(p, "runningInputStatus");
    process.pid = static_cast<int32_t>(integer(p, "pid").value_or(0));
    process.pid_status = status(p, "pidStatus");
    process.bundle_id = text(p, "bundleId");
    process.bundle_id_status = status(p, "bundleIdStatus");
    world.processes.push_back(std::move(process));
  }

}

SectionState<std::shared_ptr<const DesktopWorld>>& desktop_state() {
  static auto& state = *new SectionState<std::shared_ptr<const DesktopWorld>>(
      {"applications", "windows", "displays", "desktop"}, [](std::shared_ptr<const DesktopWorld>& slot, const json& document) {
        auto world = std::make_shared<DesktopWorld>();
        load(*world, document);
        slot = std::move(world);
      });
  return state;
}

}  // namespace

std::shared_ptr<const DesktopWorld> desktop_world() {
  return desktop_state().with([](std::shared_ptr<const DesktopWorld>& slot) { return slot; });
}

void count_desktop_call(DesktopFacility facility) {
  g_calls[static_cast<int>(facility)].fetch_add(1);
}

void note_window_list_arguments(uint32_t options, uint32_t relative_to) {
  g_last_options.store(options);
  g_last_relative.store(relative_to);
}

DesktopCalls desktop_calls() {
  DesktopCalls calls;
  calls.running_applications = g_calls[0].load();
  calls.window_list = g_calls[1].load();
  calls.screens = g_calls[2].load();
  calls.audio = g_calls[3].load();
  calls.last_window_options = g_last_options.load();
  calls.last_window_relative = g_last_relative.load();
  return calls;
}

}  // namespace deskcap::fake
