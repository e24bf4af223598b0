// microphone_apps_json: the processes running audio input, from CoreAudio's
// process objects.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "boundary/c_guard.h"
#include "boundary/json_text.h"
#include "boundary/native.h"
#include "platform/platform.h"

namespace deskcap::native {
namespace {

using namespace platform::coreaudio;

platform::PropertyAddress address(uint32_t selector) {
  return platform::PropertyAddress{selector, kScopeGlobal, kElementMain};
}

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

char* microphone_apps() {
  platform::AutoreleasePool pool;

  const auto list_address = address(kProcessObjectList);
  if (!platform::audio_object_has_property(kSystemObject, list_address)) return nullptr;
  uint32_t size = 0;
  if (platform::audio_object_get_property_data_size(kSystemObject, list_address, &size) != 0)
    return nullptr;

  std::unique_ptr<uint32_t[], FreeDeleter> objects;
  size_t count = 0;
  if (size >= sizeof(uint32_t)) {
    size_t room = size / sizeof(uint32_t);
    objects.reset(static_cast<uint32_t*>(std::calloc(room, sizeof(uint32_t))));
    if (!objects) return nullptr;
    uint32_t io_size = size;
    if (platform::audio_object_get_property_data(kSystemObject, list_address, &io_size,
                                                 objects.get()) != 0)
      return nullptr;
    count = io_size / sizeof(uint32_t);
    if (count > room) count = room;  // never read past what was allocated
  }

  nlohmann::json apps = nlohmann::json::array();
  for (size_t i = 0; i < count; ++i) {
    uint32_t object = objects[i];
    uint32_t running = 0;
    uint32_t running_size = sizeof(running);
    if (platform::audio_object_get_property_data(object, address(kIsRunningInput), &running_size,
                                                 &running) != 0 ||
        running == 0)
      continue;
    // A failed pid read leaves 0, which the addon side drops.
    int32_t pid = 0;
    uint32_t pid_size = sizeof(pid);
    (void)platform::audio_object_get_property_data(object, address(kProcessPid), &pid_size, &pid);
    std::optional<std::string> bundle_id;
    (void)platform::audio_object_get_property_string(object, address(kProcessBundleId),
                                                     &bundle_id);
    nlohmann::json entry = nlohmann::json::object();
    entry["pid"] = static_cast<int>(pid);
    entry["bundleId"] = bundle_id.value_or(std::string());
    apps.push_back(std::move(entry));
  }
  return json_text_from_object(apps);
}

}  // namespace
}  // namespace deskcap::native

extern "C" char* microphone_apps_json(void) {
  return deskcap::guarded<char*>(nullptr, [] { return deskcap::native::microphone_apps(); });
}
