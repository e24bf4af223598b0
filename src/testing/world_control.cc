#include "testing/world_control.h"

#include <map>
#include <mutex>
#include <set>

#include "phone/phone_state.h"
#include "platform/fake/base_world_fake.h"
#include "platform/fake/desktop_fake.h"
#include "platform/fake/phone_fake.h"
#include "platform/fake/screen_fake.h"
#include "screen/capture_stream.h"
#include "screen/screen.h"
#include "testing/fresh_process.h"
#include "watch/watch.h"

namespace deskcap::testing {
namespace {

using fake::json;

// Phone counts are kept for the process; a world's are counted from its start.
struct Baseline {
  std::mutex lock;
  fake::PhoneCalls phone;
};

Baseline& baseline() {
  static Baseline& b = *new Baseline;
  return b;
}

// The displays by id, as getDisplays() and the watch read them.
std::map<uint32_t, DisplayEntry> displays_now() {
  std::map<uint32_t, DisplayEntry> by_id;
  auto listed = get_displays();
  if (listed.ok())
    for (DisplayEntry& d : listed.take()) by_id[d.id] = std::move(d);
  return by_id;
}

// The flags CoreGraphics reports for one display after a reconfiguration.
uint32_t change_flags(const DisplayEntry* before, const DisplayEntry* after) {
  namespace flag = platform::display_change;
  if (before == nullptr) return after == nullptr ? 0 : flag::kAdd | flag::kEnabled;
  if (after == nullptr) return flag::kRemove | flag::kDisabled;
  uint32_t flags = 0;
  if (before->x != after->x || before->y != after->y) flags |= flag::kMoved;
  if (before->width != after->width || before->height != after->height ||
      before->scale_factor != after->scale_factor)
    flags |= flag::kSetMode;
  if (after->is_primary && !before->is_primary) flags |= flag::kSetMain;
  if (flags != 0) flags |= flag::kDesktopShapeChanged;
  return flags;
}

// Phone devices by unique id, as the world lists them.
std::map<std::string, json> world_devices(const json& world) {
  std::map<std::string, json> devices;
  auto phone = world.find("phone");
  if (phone == world.end() || !phone->is_object() || !phone->contains("devices")) return devices;
  for (const json& entry : (*phone)["devices"])
    if (entry.is_object()) devices.emplace(entry.value("uniqueId", std::string()), entry);
  return devices;
}

void report_audio_change(const fake::DesktopWorld& before, const fake::DesktopWorld& after) {
  using namespace platform::coreaudio;
  auto objects = [](const fake::DesktopWorld& w) {
    std::map<uint32_t, uint32_t> running;
    if (w.process_object_list)
      for (const auto& p : w.processes) running[p.object_id] = p.running_input;
    return running;
  };
  auto old_objects = objects(before), new_objects = objects(after);
  if (old_objects.size() != new_objects.size() ||
      !std::equal(old_objects.begin(), old_objects.end(), new_objects.begin(),
                  [](const auto& a, const auto& b) { return a.first == b.first; }))
    fake::post_audio_change(kSystemObject, {kProcessObjectList, kScopeGlobal, kElementMain});
  for (const auto& [object, running] : new_objects) {
    auto old = old_objects.find(object);
    if (old != old_objects.end() && old->second != running)
      fake::post_audio_change(object, {kIsRunningInput, kScopeGlobal, kElementMain});
  }
}

}  // namespace

void change_world(const json& patch) {
  // Checked first, so that a refused change reports nothing.
  json changed = fake::checked_change(patch);
  std::map<uint32_t, DisplayEntry> displays_before = displays_now();
  std::shared_ptr<const fake::DesktopWorld> desktop_before = fake::desktop_world();
  // CoreGraphics announces a reconfiguration to the displays before applying
  // it; a display being added has nothing to announce yet.
  const bool displays_touched = patch.contains("displays") ||
                                (patch.contains("screen") && patch["screen"].is_object() &&
                                 patch["screen"].contains("mainDisplayId"));
  if (displays_touched)
    for (const auto& [id, display] : displays_before)
      fake::screen::post_reconfiguration(id, platform::display_change::kBeginConfiguration);

  std::shared_ptr<const json> before = fake::install_change(std::move(changed));
  std::shared_ptr<const json> after = fake::world();

  // Every display announced, and every other one the change touched, reports.
  std::map<uint32_t, DisplayEntry> displays_after = displays_now();
  std::set<uint32_t> ids;
  for (const auto& [id, display] : displays_before) ids.insert(id);
  for (const auto& [id, display] : displays_after) ids.insert(id);
  for (uint32_t id : ids) {
    auto b = displays_before.find(id);
    auto a = displays_after.find(id);
    uint32_t flags = change_flags(b == displays_before.end() ? nullptr : &b->second,
                                  a == displays_after.end() ? nullptr : &a->second);
    if (flags != 0 || (displays_touched && b != displays_before.end())) fake::screen::post_reconfiguration(id, flags);
  }

  auto devices_before = world_devices(*before), devices_after = world_devices(*after);
  for (const auto& [id, entry] : devices_before)
    if (devices_after.count(id) == 0) fake::post_device_notification(false, entry);
  for (const auto& [id, entry] : devices_after)
    if (devices_before.count(id) == 0) fake::post_device_notification(true, entry);

  report_audio_change(*desktop_before, *fake::desktop_world());
}

void install_world(const json& document) {
  fake::set_world(document);
  forget_process_state();
  std::lock_guard<std::mutex> lock(baseline().lock);
  baseline().phone = fake::phone_calls();
}

json probe_counters() {
  fake::PhoneCalls since;
  {
    std::lock_guard<std::mutex> lock(baseline().lock);
    since = baseline().phone;
  }
  fake::PhoneCalls now = fake::phone_calls();
  json screen = fake::screen::probe()->snapshot();
  watch::Census census = watch::census();
  json observing = json::array();
  for (auto [bit, name] : {std::pair{watch::kDisplays, "displays"}, {watch::kIosDevices, "iosDevices"},
                           {watch::kMicrophoneApps, "microphoneApps"},
                           {watch::kScreenCaptureAccess, "screenCaptureAccess"}})
    if (census.observing & bit) observing.push_back(name);

  // What the calls made and still hold: neither the world's own devices nor
  // the session the device watch keeps for the process.
  long world_devices = static_cast<long>(fake::phone_world()->devices.size());
  long watch_sessions = phone::watch_state().session.load() != nullptr ? 1 : 0;
  json kinds = fake::live_objects_by_kind();
  long total = fake::live_objects() - world_devices - watch_sessions;
  auto discount = [&kinds](const char* kind, long count) {
    if (count == 0 || !kinds.contains(kind)) return;
    long left = kinds[kind].get<long>() - count;
    if (left == 0) kinds.erase(kind);
    else kinds[kind] = left;
  };
  discount("CaptureDevice", world_devices);
  discount("DiscoverySession", watch_sessions);

  return {{"objectsAlive", total},
          {"objectsAliveByKind", kinds},
          {"contentFetches", screen["contentFetches"]},
          {"screenshotsStarted", screen["screenshotsStarted"]},
          {"screenshotsFinished", screen["screenshotsFinished"]},
          {"screenshotsInFlight", screen["screenshotsInFlight"]},
          {"maxScreenshotsInFlight", screen["maxScreenshotsInFlight"]},
          {"paintMs", screen["paintMs"]},
          {"lastScreenshot", screen["lastScreenshot"]},
          {"propertyWrites", now.property_writes - since.property_writes},
          {"cameraPrompts", now.access_requests - since.access_requests},
          {"sessionsCreated", now.sessions_created - since.sessions_created},
          {"sessionsRunning", now.sessions_running},
          {"overlapPenaltyMs", screen["overlapPenaltyMs"]},
          {"screenshotOrder", screen["screenshotOrder"]},
          {"watchers", census.subscribers},
          {"watchObserving", observing},
          {"displayCallbacks", fake::screen::reconfiguration_callbacks()},
          {"audioListeners", fake::audio_listeners()},
          {"streamsRunning", fake::screen::streams_running()},
          {"streamFramesInFlight", stream_census().frames_in_flight}};
}

}  // namespace deskcap::testing
