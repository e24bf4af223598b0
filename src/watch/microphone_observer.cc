// The apps recording from the microphone: CoreAudio listeners on the process
// list and on each process's "is running input". A process is decided by its
// own input state, not by whether the input device runs somewhere: a duplex
// device runs for an app that only plays.
#include <algorithm>
#include <atomic>
#include <set>

#include "desktop/audio_processes.h"
#include "watch/observer.h"

namespace deskcap::watch {
namespace {

using namespace platform::coreaudio;

// Set by the listeners (a sound-system thread), taken by the watch thread.
std::atomic<bool>& changed() {
  static std::atomic<bool>& c = *new std::atomic<bool>(false);
  return c;
}

void on_property(uint32_t, const platform::PropertyAddress&, void*) {
  changed().store(true);
  wake();
}

bool same_apps(const std::vector<MicrophoneApp>& a, const std::vector<MicrophoneApp>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const MicrophoneApp& x, const MicrophoneApp& y) {
    return x.pid == y.pid && x.bundle_id == y.bundle_id;
  });
}

class MicrophoneObserver final : public Observer {
 public:
  void start(const Sources& sources) override {
    desktop_ = sources.desktop != nullptr ? sources.desktop : &system_desktop();
    changed().store(false);
    listening_list_ =
        platform::audio_object_add_listener(kSystemObject, audio_address(kProcessObjectList), on_property, nullptr) == 0;
    follow_processes();
    last_ = apps();
  }

  void stop() override {
    for (uint32_t object : processes_)
      platform::audio_object_remove_listener(object, audio_address(kIsRunningInput), on_property, nullptr);
    processes_.clear();
    if (listening_list_)
      platform::audio_object_remove_listener(kSystemObject, audio_address(kProcessObjectList), on_property, nullptr);
    listening_list_ = false;
    last_.clear();
  }

  void poll(std::vector<Event>& out) override {
    if (!changed().exchange(false)) return;
    follow_processes();
    std::vector<MicrophoneApp> now = apps();
    if (same_apps(now, last_)) return;
    last_ = now;
    Event e(Event::Type::MicrophoneAppsChanged);
    e.apps = std::move(now);
    out.push_back(std::move(e));
  }

 private:
  // Listens to the input state of the processes listed now, and no others.
  void follow_processes() {
    std::set<uint32_t> listed;
    if (auto objects = audio_process_objects()) listed.insert(objects->begin(), objects->end());
    for (auto it = processes_.begin(); it != processes_.end();) {
      if (listed.count(*it) != 0) {
        ++it;
        continue;
      }
      platform::audio_object_remove_listener(*it, audio_address(kIsRunningInput), on_property, nullptr);
      it = processes_.erase(it);
    }
    for (uint32_t object : listed)
      if (processes_.count(object) == 0 &&
          platform::audio_object_add_listener(object, audio_address(kIsRunningInput), on_property, nullptr) == 0)
        processes_.insert(object);
  }

  // What listMicrophoneApps answers; no list counts as no app.
  std::vector<MicrophoneApp> apps() const {
    auto listed = microphone_apps_step(*desktop_);
    if (!listed.ok() || !listed.value()) return {};
    return *listed.take();
  }

  const DesktopNative* desktop_ = nullptr;
  bool listening_list_ = false;
  std::set<uint32_t> processes_;
  std::vector<MicrophoneApp> last_;
};

}  // namespace

std::unique_ptr<Observer> microphone_observer() { return std::make_unique<MicrophoneObserver>(); }

}  // namespace deskcap::watch
