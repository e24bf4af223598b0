// microphone_apps_json: the processes running audio input, from CoreAudio's
// process objects.
#include <cstdint>
#include <optional>
#include <string>

#include "boundary/c_guard.h"
#include "boundary/json_text.h"
#include "boundary/native.h"
#include "desktop/audio_processes.h"
#include "platform/platform.h"

namespace deskcap::native {
namespace {

using namespace platform::coreaudio;

char* microphone_apps() {
  platform::AutoreleasePool pool;
  std::optional<std::vector<uint32_t>> objects = audio_process_objects();
  if (!objects) return nullptr;

  nlohmann::json apps = nlohmann::json::array();
  for (uint32_t object : *objects) {
    uint32_t running = 0;
    uint32_t running_size = sizeof(running);
    if (platform::audio_object_get_property_data(object, audio_address(kIsRunningInput), &running_size,
                                                 &running) != 0 ||
        running == 0)
      continue;
    // A failed pid read leaves 0, which the addon side drops.
    int32_t pid = 0;
    uint32_t pid_size = sizeof(pid);
    (void)platform::audio_object_get_property_data(object, audio_address(kProcessPid), &pid_size, &pid);
    std::optional<std::string> bundle_id;
    (void)platform::audio_object_get_property_string(object, audio_address(kProcessBundleId),
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
