// The phone part of the fake world: capture devices and the sources that
// report them, device notifications, the CoreMediaIO property, camera
// authorization, capture sessions and their frames, and the USB tree
// (docs/fake-world.md, "Phone").
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/fake/base_world_fake.h"
#include "platform/platform.h"

namespace deskcap::platform {

// One AVCaptureDevice of the world; immutable once built.
struct CaptureDevice : fake::FakeObject {
  CaptureDevice() : FakeObject("CaptureDevice") {}
  std::string unique_id;
  std::string name;
  std::string model_id;
  std::string type;
  bool muxed = false;
  bool video = false;
  bool audio = false;
  int32_t width = 0;
  int32_t height = 0;
  std::set<std::string> sources;  // which queries report it
  uint64_t from_query = 1;        // reported from this query of a source on
  fake::json capture;             // how a capture session with it behaves
};

// One frame: a plain colour of the given size, and what rendering and
// encoding it will do.
struct PixelBuffer : fake::FakeObject {
  PixelBuffer() : FakeObject("PixelBuffer") {}
  int32_t width = 0;
  int32_t height = 0;
  uint8_t rgba[4] = {0, 0, 0, 255};
  bool render_fails = false;
  bool encode_fails = false;
};

}  // namespace deskcap::platform

namespace deskcap::fake {

// The "phone" section of one world, read once, with the little state the
// world keeps while it is current (query counts, the property's value, the
// camera authorization after a request was answered).
struct PhoneWorld {
  uint64_t generation = 0;
  std::vector<platform::Ref<platform::CaptureDevice>> devices;

  std::vector<int32_t> property_set_statuses;  // one per write, the last repeats
  int32_t property_get_status = 0;
  std::atomic<uint32_t> property_value{0};
  std::atomic<size_t> property_writes{0};

  std::atomic<int64_t> camera_status{3};
  json camera_request;  // {"granted", "deliver", "delayMs"}

  json notifications;  // [{"atMs", "event", "device"}]

  int32_t usb_status = 0;
  json usb_services;  // [{"class"?, registry properties...}]

  std::string os_version;

  std::mutex queries_lock;
  std::map<std::string, uint64_t> queries;  // source -> queries so far
};

// The current world's phone section; rebuilt when the world changes.
std::shared_ptr<PhoneWorld> phone_world();

// A device from a world entry (see the doc for the fields).
platform::Ref<platform::CaptureDevice> make_device(const json& entry);
// The world's device with this unique id, or a device built from an entry
// object; null when a string names no device of the world.
platform::Ref<platform::CaptureDevice> resolve_device(const json& reference);

// Counts of what the native layer asked, since the process started, so that
// tests can check that a step did (or did not) do something.
struct PhoneCalls {
  long property_writes = 0;
  long property_reads = 0;
  long access_requests = 0;
  long sessions_created = 0;
  long sessions_running = 0;  // started and not yet stopped
  long notifications_posted = 0;
  long usb_queries = 0;
};
PhoneCalls phone_calls();

enum class PhoneCounter {
  PropertyWrites,
  PropertyReads,
  AccessRequests,
  SessionsCreated,
  SessionsRunning,
  NotificationsPosted,
  UsbQueries,
};
void count_phone(PhoneCounter counter, long delta = 1);

// Posts a connect or disconnect notification from the calling thread to the
// registered observers, for `device` as resolve_device() reads it. Answers
// false when there is no observer yet or the device cannot be resolved.
bool post_device_notification(bool connected, const json& device);

// The PNG writer behind the stand-in for ImageIO: 8-bit RGBA rows, top to
// bottom, into *png; false on failure. Installed by the testing layer (with
// the product's own encoder) before any world runs; until then every PNG
// write fails. Any thread.
using PngWriter = bool (*)(const uint8_t* rgba, size_t length, uint32_t width, uint32_t height,
                           std::vector<uint8_t>* png);
void set_png_writer(PngWriter writer);

}  // namespace deskcap::fake
