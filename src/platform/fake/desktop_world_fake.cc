// Reading the "desktop" section of the fake world.
#include <atomic>
#include <limits>

#include "platform/fake/desktop_fake.h"
#include "platform/fake/base_world_fake.h"

namespace deskcap::fake {
namespace {

std::atomic<long> g_calls[5];
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

void load(DesktopWorld& world, const json& document) {
  const json& desktop = member(document, "desktop");

  for (const json& a : member(desktop, "applications")) {
    platform::RunningApplication app;
    app.bundle_identifier = text(a, "bundleId");
    app.process_identifier = static_cast<int32_t>(integer(a, "pid").value_or(0));
    auto& list = flag(a, "pending", false) ? world.pending_applications : world.applications;
    list.push_back(std::move(app));
  }

  world.window_list_available = flag(desktop, "windowListAvailable", true);
  for (const json& w : member(desktop, "windows")) {
    platform::WindowInfo info;
    info.owner_pid = integer(w, "ownerPid");
    info.layer = integer(w, "layer");
    info.number = size(w, "number").value_or(0);
    info.owner_name = text(w, "ownerName");
    info.name = text(w, "name");
    const json& bounds = member(w, "bounds");
    info.has_bounds = !bounds.is_null();
    // Anything but an object with four numbers is a dictionary CoreGraphics cannot read.
    info.bounds_valid = bounds.is_object() && bounds.contains("x") && bounds.contains("y") &&
                        bounds.contains("width") && bounds.contains("height") &&
                        bounds["x"].is_number() && bounds["y"].is_number() &&
                        bounds["width"].is_number() && bounds["height"].is_number();
    if (info.bounds_valid) info.bounds = rect(bounds);
    world.windows.push_back(info);
  }

  for (const json& s : member(desktop, "screens")) {
    platform::ScreenInfo screen;
    screen.frame = rect(member(s, "frame"));
    screen.safe_area_top = number(s, "safeAreaTop");
    screen.auxiliary_top_left = rect(member(s, "auxiliaryTopLeft"));
    screen.auxiliary_top_right = rect(member(s, "auxiliaryTopRight"));
    world.screens.push_back(screen);
  }

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

  const json& raw = member(desktop, "rawAnswers");
  if (raw.is_object()) {
    for (auto it = raw.begin(); it != raw.end(); ++it) {
      if (it->is_null()) world.raw_answers[it.key()] = std::nullopt;
      else if (it->is_string()) world.raw_answers[it.key()] = it->get<std::string>();
      else world.raw_answers[it.key()] = it->dump();
    }
  }
}

SectionState<std::shared_ptr<const DesktopWorld>>& desktop_state() {
  static auto& state = *new SectionState<std::shared_ptr<const DesktopWorld>>(
      [](std::shared_ptr<const DesktopWorld>& slot, const json& document) {
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
  calls.raw_answers = g_calls[4].load();
  calls.last_window_options = g_last_options.load();
  calls.last_window_relative = g_last_relative.load();
  return calls;
}

}  // namespace deskcap::fake
