// Follows phones as they are plugged in and out. The connect notification can
// report a screen-capture device before any query does, so scans and listings
// also consult the devices it reported.
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

#include "boundary/native.h"
#include "phone/phone_internal.h"
#include "phone/phone_state.h"

namespace deskcap::phone {
namespace {

using platform::CaptureDevice;
using platform::MediaType;

std::atomic<IosDeviceHook>& device_hook() {
  static std::atomic<IosDeviceHook>& hook = *new std::atomic<IosDeviceHook>(nullptr);
  return hook;
}

// As listIosDevices describes a device.
IosDevice describe(CaptureDevice* device) {
  int32_t width = 0, height = 0;
  platform::device_active_dimensions(device, &width, &height);
  return IosDevice{platform::device_unique_id(device), platform::device_localized_name(device),
                   platform::device_model_id(device), static_cast<uint32_t>(width < 0 ? 0 : width),
                   static_cast<uint32_t>(height < 0 ? 0 : height)};
}

void tell_hook(bool connected, CaptureDevice* device) {
  if (IosDeviceHook hook = device_hook().load()) hook(connected, describe(device));
}

void on_device_connected(CaptureDevice* device) {
  ios_log("device_connected name=%s media=%s type=%s model_id=%s",
          platform::device_localized_name(device).c_str(), media_description(device).c_str(),
          platform::device_type(device).c_str(), platform::device_model_id(device).c_str());
  if (!platform::device_has_media_type(device, MediaType::Muxed)) return;
  platform::retain(device);
  auto entry = std::make_shared<const KnownDevice>(
      KnownDevice{DeviceRef(device), platform::device_unique_id(device)});
  {
    WatchState& s = watch_state();
    std::lock_guard<std::mutex> lock(s.known_lock);
    bool known = false;
    for (const KnownEntry& k : s.known) known = known || k->unique_id == entry->unique_id;
    if (!known) s.known.push_back(std::move(entry));
  }  // a duplicate entry is released after the lock
  tell_hook(true, device);
}

void on_device_disconnected(CaptureDevice* device) {
  ios_log("device_disconnected name=%s", platform::device_localized_name(device).c_str());
  if (platform::device_has_media_type(device, MediaType::Muxed)) tell_hook(false, device);
  std::string id = platform::device_unique_id(device);
  std::vector<KnownEntry> removed;
  WatchState& s = watch_state();
  {
    std::lock_guard<std::mutex> lock(s.known_lock);
    std::vector<KnownEntry> kept;
    for (KnownEntry& known : s.known) (known->unique_id == id ? removed : kept).push_back(std::move(known));
    s.known.swap(kept);
  }
  // `removed` lets the devices go here, with the lock released.
}

void start_watch_once() {
  WatchState& s = watch_state();
  // Written before the observers exist; readers only ever see null or this.
  s.session.store(platform::discovery_session_create(MediaType::Muxed));
  platform::observe_device_notifications(on_device_connected, on_device_disconnected);
  ios_log("watching_for_devices");
}

}  // namespace

WatchState& watch_state() {
  static WatchState& state = *new WatchState;
  return state;
}

void start_device_watch() { std::call_once(*watch_state().once.load(), start_watch_once); }

platform::DiscoverySession* watch_session() { return watch_state().session.load(); }


DeviceList known_devices() {
  std::vector<KnownEntry> copy;
  {
    WatchState& s = watch_state();
    std::lock_guard<std::mutex> lock(s.known_lock);
    copy = s.known;
  }
  DeviceList list;
  list.reserve(copy.size());
  for (const KnownEntry& known : copy) {
    platform::retain(known->device.get());
    list.emplace_back(known->device.get());
  }
  return list;
}

}  // namespace deskcap::phone

namespace deskcap {

std::vector<IosDevice> follow_ios_devices(IosDeviceHook hook) {
  phone::device_hook().store(hook);
  if (hook == nullptr) return {};
  platform::AutoreleasePool pool;
  std::vector<IosDevice> present;
  // Without screen-capture devices allowed no phone is ever reported.
  if (!phone::enable_screen_capture_devices()) return present;
  phone::start_device_watch();
  phone::DeviceList devices = phone::scan_capture_devices(false);
  for (phone::DeviceRef& known : phone::known_devices()) devices.push_back(std::move(known));
  for (const phone::DeviceRef& d : devices) {
    IosDevice device = phone::describe(d.get());
    bool seen = false;
    for (const IosDevice& p : present) seen = seen || p.unique_id == device.unique_id;
    if (!seen) present.push_back(std::move(device));
  }
  return present;
}

}  // namespace deskcap
