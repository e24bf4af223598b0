#include "testing/world_control.h"

#include <mutex>

#include "phone/phone_state.h"
#include "platform/fake/base_world_fake.h"
#include "platform/fake/phone_fake.h"
#include "platform/fake/screen_fake.h"
#include "testing/fresh_process.h"

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

}  // namespace

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
          {"screenshotOrder", screen["screenshotOrder"]}};
}

}  // namespace deskcap::testing
