// Finding USB phones among the capture devices. No single AVFoundation query
// reliably reports a freshly enabled screen-capture device, so the scan asks
// newer and deprecated ones alike, plus what the watch has seen, and merges.
#include <string>
#include <unordered_set>

#include "boundary/native.h"
#include "phone/phone_internal.h"

namespace deskcap::phone {
namespace {

using platform::CaptureDevice;
using platform::MediaType;

constexpr int kWarmUpAttempts = 12;
constexpr double kWarmUpInterval = 0.25;

DeviceList discovery_devices(std::optional<MediaType> media) {
  platform::Ref<platform::DiscoverySession> session(platform::discovery_session_create(media));
  if (!session) return {};
  return adopt_devices(platform::discovery_session_devices(session.get()));
}

DeviceList watch_session_devices() {
  platform::DiscoverySession* session = watch_session();
  if (session == nullptr) return {};
  return adopt_devices(platform::discovery_session_devices(session));
}

class Collector {
 public:
  explicit Collector(bool verbose) : verbose_(verbose) {}

  void collect(const char* source, const DeviceList& answer) {
    unsigned long fresh = 0;
    for (const DeviceRef& device : answer) {
      if (!platform::device_has_media_type(device.get(), MediaType::Muxed)) continue;
      std::string id = platform::device_unique_id(device.get());
      if (id.empty()) continue;
      if (!seen_.insert(std::move(id)).second) continue;
      platform::retain(device.get());
      result_.emplace_back(device.get());
      ++fresh;
    }
    if (verbose_)
      ios_log("scan source=%s returned=%lu muxed_new=%lu", source,
              static_cast<unsigned long>(answer.size()), fresh);
  }

  DeviceList take() { return std::move(result_); }

 private:
  bool verbose_;
  std::unordered_set<std::string> seen_;
  DeviceList result_;
};

}  // namespace

DeviceList adopt_devices(std::vector<CaptureDevice*> raw) {
  DeviceList list;
  list.reserve(raw.size());
  for (CaptureDevice* device : raw)
    if (device != nullptr) list.emplace_back(device);
  return list;
}

DeviceList scan_capture_devices(bool verbose) {
  Collector collector(verbose);
  collector.collect("discovery_external_muxed", discovery_devices(MediaType::Muxed));
  collector.collect("discovery_external_any", discovery_devices(std::nullopt));
  collector.collect("deprecated_muxed", adopt_devices(platform::devices_with_media_type(MediaType::Muxed)));
  collector.collect("deprecated_all", adopt_devices(platform::all_devices()));
  collector.collect("watch_session", watch_session_devices());
  collector.collect("notification", known_devices());
  return collector.take();
}

DeviceList warm_up_device_scan(bool verbose) {
  DeviceList devices = scan_capture_devices(verbose);
  if (!devices.empty()) return devices;
  for (int attempt = 1; attempt <= kWarmUpAttempts; ++attempt) {
    platform::sleep_for_interval(kWarmUpInterval);
    devices = scan_capture_devices(false);
    if (!devices.empty()) {
      ios_log("devices_appeared_after_warmup attempt=%d", attempt);
      return devices;
    }
  }
  if (verbose) ios_log("warmup_exhausted still_empty_after_ms=3000");
  return devices;
}

std::string media_description(CaptureDevice* device) {
  std::string text;
  auto add = [&](MediaType media, const char* name) {
    if (!platform::device_has_media_type(device, media)) return;
    if (!text.empty()) text += '+';
    text += name;
  };
  add(MediaType::Muxed, "muxed");
  add(MediaType::Video, "video");
  add(MediaType::Audio, "audio");
  return text.empty() ? "none" : text;
}

void log_capture_devices() {
  DeviceList devices = adopt_devices(platform::all_devices());
  unsigned long with_video = 0;
  for (const DeviceRef& d : devices) {
    CaptureDevice* device = d.get();
    if (!platform::device_has_media_type(device, MediaType::Video) &&
        !platform::device_has_media_type(device, MediaType::Muxed))
      continue;
    ++with_video;
    ios_log("capture_device name=%s type=%s media=%s model_id=%s unique_id=%s",
            platform::device_localized_name(device).c_str(), platform::device_type(device).c_str(),
            media_description(device).c_str(), platform::device_model_id(device).c_str(),
            platform::device_unique_id(device).c_str());
  }
  ios_log("capture_devices total=%lu with_video=%lu", static_cast<unsigned long>(devices.size()),
          with_video);
}

}  // namespace deskcap::phone
