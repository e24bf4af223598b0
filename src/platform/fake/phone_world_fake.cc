// Reading the "phone" section of the fake world, the call counts, and the
// device notifications (scripted ones posted from their own thread).
#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/fake/phone_fake.h"

namespace deskcap::fake {
namespace {

std::atomic<long> g_counts[7];

const json& member(const json& object, const char* key) {
  static const json& none = *new json();
  if (!object.is_object()) return none;
  auto it = object.find(key);
  return it == object.end() ? none : *it;
}

int32_t status_of(const json& value) {
  return value.is_number_integer() ? static_cast<int32_t>(value.get<int64_t>()) : 0;
}

std::string text_or(const json& object, const char* key, const char* fallback) {
  const json& value = member(object, key);
  return value.is_string() ? value.get<std::string>() : fallback;
}

int32_t int_or(const json& object, const char* key, int32_t fallback) {
  const json& value = member(object, key);
  if (value.is_number_integer()) return static_cast<int32_t>(value.get<int64_t>());
  if (value.is_number_float()) return static_cast<int32_t>(value.get<double>());
  return fallback;
}

void load(PhoneWorld& w, const json& phone) {
  for (const json& entry : member(phone, "devices"))
    if (entry.is_object()) w.devices.push_back(make_device(entry));

  const json& property = member(phone, "screenCaptureProperty");
  const json& set_status = member(property, "setStatus");
  if (set_status.is_array()) {
    for (const json& s : set_status) w.property_set_statuses.push_back(status_of(s));
  } else {
    w.property_set_statuses.push_back(status_of(set_status));
  }
  w.property_get_status = status_of(member(property, "getStatus"));
  w.property_value = static_cast<uint32_t>(int_or(property, "value", 0));

  const json& camera = member(phone, "camera");
  w.camera_status = int_or(camera, "status", 3);
  w.camera_request = member(camera, "request");

  w.notifications = member(phone, "notifications");

  const json& usb = member(phone, "usb");
  w.usb_status = status_of(member(usb, "status"));
  w.usb_services = member(usb, "services");

  w.os_version = text_or(phone, "osVersion", "Version 14.5 (Build 23F79)");
}

// Observers registered by the native layer; registrations live for the
// process, as with the notification centre. A second registration of the
// same pair is kept once.
struct Observers {
  std::mutex lock;
  std::vector<std::pair<platform::DeviceNotificationHandler, platform::DeviceNotificationHandler>> pairs;
};

Observers& observers() {
  static Observers& o = *new Observers;
  return o;
}

bool post(bool connected, platform::CaptureDevice* device) {
  std::vector<std::pair<platform::DeviceNotificationHandler, platform::DeviceNotificationHandler>> pairs;
  {
    std::lock_guard<std::mutex> lock(observers().lock);
    pairs = observers().pairs;
  }
  if (pairs.empty()) return false;
  for (auto& [on_connect, on_disconnect] : pairs) (connected ? on_connect : on_disconnect)(device);
  count_phone(PhoneCounter::NotificationsPosted);
  return true;
}

// Posts the world's scripted notifications, in time order, relative to the
// registration; stops as soon as another world is installed.
void schedule_notifications(const json& script, uint64_t world_generation) {
  if (!script.is_array() || script.empty()) return;
  std::vector<json> events(script.begin(), script.end());
  std::stable_sort(events.begin(), events.end(), [](const json& a, const json& b) {
    return int_or(a, "atMs", 0) < int_or(b, "atMs", 0);
  });
  auto start = std::chrono::steady_clock::now();
  std::thread([events = std::move(events), world_generation, start] {
    for (const json& event : events) {
      std::this_thread::sleep_until(start +
                                    std::chrono::nanoseconds(scaled_ns(int_or(event, "atMs", 0) / 1000.0)));
      if (fresh_generation() != world_generation) return;
      bool connected = text_or(event, "event", "connected") != "disconnected";
      platform::Ref<platform::CaptureDevice> device = resolve_device(member(event, "device"));
      if (device) post(connected, device.get());
    }
  }).detach();
}

}  // namespace

std::shared_ptr<PhoneWorld> phone_world() {
  static std::mutex& lock = *new std::mutex;
  static std::shared_ptr<PhoneWorld>& current = *new std::shared_ptr<PhoneWorld>;
  std::lock_guard<std::mutex> guard(lock);
  static json& built_from = *new json;
  static uint64_t seen = 0;
  if (current && generation() == seen) return current;
  seen = generation();
  uint64_t now = fresh_generation();
  json phone = section("phone");
  if (!current || current->generation != now || phone != built_from) {
    auto fresh = std::make_shared<PhoneWorld>();
    fresh->generation = now;
    load(*fresh, phone);
    current = std::move(fresh);
    built_from = std::move(phone);
  }
  return current;
}

platform::Ref<platform::CaptureDevice> make_device(const json& entry) {
  platform::Ref<platform::CaptureDevice> device(new platform::CaptureDevice);
  platform::CaptureDevice& d = *device.get();
  d.unique_id = text_or(entry, "uniqueId", "");
  d.name = text_or(entry, "name", "");
  d.model_id = text_or(entry, "modelId", "");
  d.type = text_or(entry, "deviceType", "AVCaptureDeviceTypeExternal");
  const json& media = member(entry, "media");
  if (media.is_array()) {
    for (const json& m : media) {
      if (m == "muxed") d.muxed = true;
      if (m == "video") d.video = true;
      if (m == "audio") d.audio = true;
    }
  } else {
    d.muxed = true;
  }
  d.width = int_or(entry, "width", 0);
  d.height = int_or(entry, "height", 0);
  const json& sources = member(entry, "sources");
  if (sources.is_array()) {
    for (const json& s : sources)
      if (s.is_string()) d.sources.insert(s.get<std::string>());
  } else if (d.muxed) {
    d.sources = {"discoveryMuxed", "discoveryAny", "deprecatedMuxed", "deprecatedAll"};
  } else {
    d.sources = {"discoveryAny", "deprecatedAll"};
  }
  int32_t from = int_or(entry, "fromQuery", 1);
  d.from_query = from < 1 ? 1 : static_cast<uint64_t>(from);
  d.capture = member(entry, "capture");
  return device;
}

platform::Ref<platform::CaptureDevice> resolve_device(const json& reference) {
  if (reference.is_object()) return make_device(reference);
  if (!reference.is_string()) return {};
  auto world = phone_world();
  for (const auto& device : world->devices) {
    if (device.get()->unique_id == reference.get<std::string>()) {
      platform::retain(device.get());
      return platform::Ref<platform::CaptureDevice>(device.get());
    }
  }
  return {};
}

PhoneCalls phone_calls() {
  PhoneCalls calls;
  calls.property_writes = g_counts[0].load();
  calls.property_reads = g_counts[1].load();
  calls.access_requests = g_counts[2].load();
  calls.sessions_created = g_counts[3].load();
  calls.sessions_running = g_counts[4].load();
  calls.notifications_posted = g_counts[5].load();
  calls.usb_queries = g_counts[6].load();
  return calls;
}

void count_phone(PhoneCounter counter, long delta) { g_counts[static_cast<int>(counter)].fetch_add(delta); }

bool post_device_notification(bool connected, const json& device) {
  platform::Ref<platform::CaptureDevice> resolved = resolve_device(device);
  if (!resolved) return false;
  return post(connected, resolved.get());
}

}  // namespace deskcap::fake

namespace deskcap::platform {

void observe_device_notifications(DeviceNotificationHandler connected, DeviceNotificationHandler disconnected) {
  {
    auto& o = fake::observers();
    std::lock_guard<std::mutex> lock(o.lock);
    auto pair = std::make_pair(connected, disconnected);
    if (std::find(o.pairs.begin(), o.pairs.end(), pair) == o.pairs.end()) o.pairs.push_back(pair);
  }
  auto world = fake::phone_world();
  fake::schedule_notifications(world->notifications, world->generation);
}

}  // namespace deskcap::platform
