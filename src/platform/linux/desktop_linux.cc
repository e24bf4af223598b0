// Desktop facilities on Linux. The window list is the X server's
// (x11_server_linux.h): client windows front to back, each owned by the pid
// its window or the server names. A process's application ids, in the order a
// window's appId is chosen from: _GTK_APPLICATION_ID, the class part of
// WM_CLASS, the executable's name. CoreAudio's process objects are played by
// the sound server's recording streams (pulse_server_linux.h): the process
// list is a snapshot taken when it is asked for, one object per stream. No
// screen has a notch or a safe area here, and TCC is looked for where macOS
// keeps it (absent here).
#include <set>
#include <utility>

#include "platform/linux/pulse_server_linux.h"
#include "platform/linux/x11_server_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {

namespace x11 = linux_backend::x11;
namespace pulse = linux_backend::pulse;

// No main run loop to turn here.
void refresh_running_applications() {}

namespace {

using namespace coreaudio;

constexpr uint32_t kExcludeDesktopElements = 16;

// The streams as last listed on this thread: the process-object questions of
// one listing all come from the thread that asked for the list.
thread_local std::vector<pulse::RecordingStream> t_streams;

const pulse::RecordingStream* stream_object(uint32_t object) {
  for (const auto& stream : t_streams)
    if (stream.index + 2 == object) return &stream;  // objects 0 and 1 are taken
  return nullptr;
}

}  // namespace

std::vector<RunningApplication> running_applications() {
  std::vector<RunningApplication> apps;
  auto clients = x11::clients();
  if (!clients) return apps;
  std::set<std::pair<int32_t, std::string>> seen;
  for (const auto& client : *clients) {
    if (!client.pid) continue;
    auto pid = static_cast<int32_t>(*client.pid);
    for (const auto& id : client.app_ids)
      if (seen.insert({pid, id}).second) apps.push_back(RunningApplication{id, pid});
  }
  return apps;
}

std::optional<std::vector<WindowInfo>> window_list_copy(uint32_t options, uint32_t relative_to) {
  auto clients = x11::clients();
  if (!clients) return std::nullopt;
  std::vector<WindowInfo> list;
  for (const auto& client : *clients) {
    if ((options & kExcludeDesktopElements) != 0 && client.desktop) continue;
    WindowInfo info;
    info.owner_pid = client.pid;
    info.layer = 0;
    info.has_bounds = info.bounds_valid = true;
    info.bounds = client.frame;
    info.number = client.id;
    if (!client.app_ids.empty()) info.owner_name = client.app_ids.back();
    info.name = client.title;
    list.push_back(std::move(info));
  }
  return list;
}

std::vector<ScreenInfo> screens() { return {}; }

bool audio_object_has_property(uint32_t object, const PropertyAddress& address) {
  if (object != kSystemObject || address.selector != kProcessObjectList) return false;
  auto streams = pulse::recording_streams();
  if (!streams) return false;
  t_streams = std::move(*streams);
  return true;
}

int32_t audio_object_get_property_data_size(uint32_t object, const PropertyAddress& address,
                                            uint32_t* size) {
  if (object != kSystemObject || address.selector != kProcessObjectList) return kUnknownProperty;
  *size = static_cast<uint32_t>(t_streams.size() * sizeof(uint32_t));
  return 0;
}

int32_t audio_object_get_property_data(uint32_t object, const PropertyAddress& address,
                                       uint32_t* io_size, void* data) {
  auto* words = static_cast<uint32_t*>(data);
  if (object == kSystemObject && address.selector == kProcessObjectList) {
    size_t room = *io_size / sizeof(uint32_t), n = 0;
    for (; n < room && n < t_streams.size(); ++n) words[n] = t_streams[n].index + 2;
    *io_size = static_cast<uint32_t>(n * sizeof(uint32_t));
    return 0;
  }
  const pulse::RecordingStream* stream = stream_object(object);
  if (stream == nullptr) return kBadObject;
  if (*io_size < sizeof(uint32_t)) return kBadPropertySize;
  if (address.selector == kIsRunningInput) {
    words[0] = stream->running ? 1 : 0;
  } else if (address.selector == kProcessPid) {
    if (!stream->pid) return kUnknownProperty;
    words[0] = static_cast<uint32_t>(*stream->pid);
  } else {
    return kUnknownProperty;
  }
  *io_size = sizeof(uint32_t);
  return 0;
}

int32_t audio_object_get_property_string(uint32_t object, const PropertyAddress& address,
                                         std::optional<std::string>* value) {
  const pulse::RecordingStream* stream = stream_object(object);
  if (stream == nullptr) return kBadObject;
  if (address.selector != kProcessBundleId) return kUnknownProperty;
  *value = stream->app_id;
  return 0;
}

const char* tcc_framework_path() {
  return "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC";
}

}  // namespace deskcap::platform
