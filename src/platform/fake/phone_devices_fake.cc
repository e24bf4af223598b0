// Capture devices as AVFoundation reports them, the CoreMediaIO property,
// camera authorization and the operating system's version text.
#include <memory>

#include "platform/fake/phone_fake.h"

namespace deskcap::platform {

struct DiscoverySession : fake::FakeObject {
  DiscoverySession() : FakeObject("DiscoverySession") {}
  std::optional<MediaType> media;
};

namespace {

bool has(const CaptureDevice* d, MediaType media) {
  switch (media) {
    case MediaType::Muxed: return d->muxed;
    case MediaType::Video: return d->video;
    case MediaType::Audio: return d->audio;
  }
  return false;
}

// One query of a source: the devices it reports at this query, each +1.
std::vector<CaptureDevice*> query(const char* source, std::optional<MediaType> only = std::nullopt) {
  auto world = fake::phone_world();
  uint64_t number;
  {
    std::lock_guard<std::mutex> lock(world->queries_lock);
    number = ++world->queries[source];
  }
  std::vector<CaptureDevice*> answer;
  for (const auto& device : world->devices) {
    CaptureDevice* d = device.get();
    if (d->sources.count(source) == 0 || number < d->from_query) continue;
    if (only && !has(d, *only)) continue;
    retain(d);
    answer.push_back(d);
  }
  return answer;
}

}  // namespace

DiscoverySession* discovery_session_create(std::optional<MediaType> media) {
  auto* session = new DiscoverySession;
  session->media = media;
  return session;
}

std::vector<CaptureDevice*> discovery_session_devices(DiscoverySession* session) {
  if (session == nullptr) return {};
  if (session->media == MediaType::Muxed) return query("discoveryMuxed");
  if (!session->media) return query("discoveryAny");
  return query("discoveryAny", session->media);
}

std::vector<CaptureDevice*> devices_with_media_type(MediaType media) {
  if (media == MediaType::Muxed) return query("deprecatedMuxed");
  return query("deprecatedAll", media);
}

std::vector<CaptureDevice*> all_devices() { return query("deprecatedAll"); }

std::string device_unique_id(CaptureDevice* device) { return device->unique_id; }
std::string device_localized_name(CaptureDevice* device) { return device->name; }
std::string device_model_id(CaptureDevice* device) { return device->model_id; }
std::string device_type(CaptureDevice* device) { return device->type; }
bool device_has_media_type(CaptureDevice* device, MediaType media) { return has(device, media); }

void device_active_dimensions(CaptureDevice* device, int32_t* width, int32_t* height) {
  *width = device->width;
  *height = device->height;
}

int32_t cmio_set_property_u32(uint32_t object, const PropertyAddress& address, uint32_t value) {
  fake::count_phone(fake::PhoneCounter::PropertyWrites);
  auto world = fake::phone_world();
  size_t write = world->property_writes.fetch_add(1);
  const auto& statuses = world->property_set_statuses;
  int32_t status = statuses.empty() ? 0 : statuses[std::min(write, statuses.size() - 1)];
  if (status == 0) world->property_value = value;
  return status;
}

int32_t cmio_get_property_u32(uint32_t object, const PropertyAddress& address, uint32_t* value) {
  fake::count_phone(fake::PhoneCounter::PropertyReads);
  auto world = fake::phone_world();
  if (world->property_get_status != 0) return world->property_get_status;
  *value = world->property_value.load();
  return 0;
}

int64_t video_authorization_status() { return fake::phone_world()->camera_status.load(); }

void request_video_access(void* context, AccessCallback completion) {
  fake::count_phone(fake::PhoneCounter::AccessRequests);
  auto world = fake::phone_world();
  const fake::json& request = world->camera_request;
  bool granted = request.is_object() && request.value("granted", false);
  auto answer = [world, context, completion, granted] {
    world->camera_status = granted ? 3 : 2;
    completion(context, granted);
  };
  if (request.is_object() && request.value("deliver", std::string()) == "never") {
    // An unanswered prompt keeps its handler (and what it holds) forever.
    static std::mutex& lock = *new std::mutex;
    static auto& parked = *new std::vector<std::function<void()>>;
    std::lock_guard<std::mutex> guard(lock);
    parked.push_back(std::move(answer));
    return;
  }
  fake::deliver(request, std::move(answer));
}

std::string os_version_string() { return fake::phone_world()->os_version; }

}  // namespace deskcap::platform
