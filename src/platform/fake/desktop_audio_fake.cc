// Fake CoreAudio: the system object's process-object list and the process
// objects' input, pid and bundle-identifier properties.
#include <cstring>

#include "platform/fake/desktop_fake.h"
#include "platform/platform.h"

namespace deskcap::platform {
namespace {

using namespace coreaudio;

const fake::FakeAudioProcess* find_process(const fake::DesktopWorld& world, uint32_t object) {
  for (const auto& p : world.processes)
    if (p.object_id == object) return &p;
  return nullptr;
}

// Only the global scope and the main element hold these properties.
bool global_main(const PropertyAddress& address) {
  return address.scope == kScopeGlobal && address.element == 0;
}

bool is_list(uint32_t object, const PropertyAddress& address, const fake::DesktopWorld& world) {
  return object == kSystemObject && address.selector == kProcessObjectList &&
         global_main(address) && world.process_object_list;
}

uint32_t list_bytes(const fake::DesktopWorld& world) {
  return world.list_size.value_or(static_cast<uint32_t>(world.processes.size() * 4));
}

}  // namespace

bool audio_object_has_property(uint32_t object, const PropertyAddress& address) {
  fake::count_desktop_call(fake::DesktopFacility::Audio);
  auto world = fake::desktop_world();
  if (is_list(object, address, *world)) return true;
  if (!global_main(address) || find_process(*world, object) == nullptr) return false;
  return address.selector == kIsRunningInput || address.selector == kProcessPid ||
         address.selector == kProcessBundleId;
}

int32_t audio_object_get_property_data_size(uint32_t object, const PropertyAddress& address,
                                            uint32_t* size) {
  fake::count_desktop_call(fake::DesktopFacility::Audio);
  auto world = fake::desktop_world();
  if (!is_list(object, address, *world)) return kUnknownProperty;
  if (world->list_size_status != 0) return world->list_size_status;
  *size = list_bytes(*world);
  return 0;
}

int32_t audio_object_get_property_data(uint32_t object, const PropertyAddress& address,
                                       uint32_t* io_size, void* data) {
  fake::count_desktop_call(fake::DesktopFacility::Audio);
  auto world = fake::desktop_world();
  if (is_list(object, address, *world)) {
    if (world->list_read_status != 0) return world->list_read_status;
    // Writes as many identifiers as fit, and says how many bytes it wrote.
    uint32_t written = 0;
    auto* out = static_cast<uint8_t*>(data);
    for (const auto& p : world->processes) {
      if (written + 4 > *io_size) break;
      std::memcpy(out + written, &p.object_id, 4);
      written += 4;
    }
    *io_size = world->list_read_size ? std::min(*world->list_read_size, *io_size) : written;
    return 0;
  }
  if (!global_main(address)) return kUnknownProperty;
  const fake::FakeAudioProcess* process = find_process(*world, object);
  if (process == nullptr) return kBadObject;
  if (address.selector != kIsRunningInput && address.selector != kProcessPid)
    return kUnknownProperty;
  if (*io_size != 4) return kBadPropertySize;
  if (address.selector == kIsRunningInput) {
    if (process->running_input_status != 0) return process->running_input_status;
    std::memcpy(data, &process->running_input, 4);
  } else {
    if (process->pid_status != 0) return process->pid_status;
    std::memcpy(data, &process->pid, 4);
  }
  return 0;
}

int32_t audio_object_get_property_string(uint32_t object, const PropertyAddress& address,
                                         std::optional<std::string>* value) {
  fake::count_desktop_call(fake::DesktopFacility::Audio);
  auto world = fake::desktop_world();
  if (!global_main(address) || address.selector != kProcessBundleId) return kUnknownProperty;
  const fake::FakeAudioProcess* process = find_process(*world, object);
  if (process == nullptr) return kBadObject;
  if (process->bundle_id_status != 0) return process->bundle_id_status;
  *value = process->bundle_id;
  return 0;
}

}  // namespace deskcap::platform
