// CoreAudio property listeners over the sound server's source-output events,
// served by a thread of the backend's own (pulse::watch_streams). Two
// properties ever change here: the system object's process list, on a stream
// that came or went, and a process object's running state (object = stream
// index + 2, as desktop_linux.cc numbers them). The server does not say what
// a change was, so a changed stream also calls the process-list listeners; the
// callee reads again and compares. Those listeners are called once more each
// time the watch is subscribed (first or again), since nobody watched before.
// A listener matches its object and selector, whatever its scope and element;
// one on any other property is registered and never called.
#include "platform/linux/pulse_server_linux.h"
#include "platform/linux/watch_linux.h"
#include "platform/platform.h"

namespace deskcap::platform {
namespace {

namespace pulse = linux_backend::pulse;
namespace watch = linux_backend::watch;
using namespace coreaudio;

constexpr int32_t kUnspecifiedError = 0x77686174;  // 'what'

struct Registration {
  uint32_t object;
  PropertyAddress address;
  PropertyListener listener;
  void* context;
  bool operator==(const Registration& o) const {
    return object == o.object && address.selector == o.address.selector &&
           address.scope == o.address.scope && address.element == o.address.element &&
           listener == o.listener && context == o.context;
  }
  bool on(uint32_t o, uint32_t selector) const { return object == o && address.selector == selector; }
};

void serve(watch::Watch<Registration>& watch, watch::Run& run) {
  auto call = [](const Registration& r) { r.listener(r.object, r.address, r.context); };
  pulse::watch_streams(run, [&](pulse::StreamEvent event, uint32_t index) {
    const bool changed = event == pulse::StreamEvent::Changed;
    watch.notify(
        run,
        [&](const Registration& r) {
          return r.on(kSystemObject, kProcessObjectList) || (changed && r.on(index + 2, kIsRunningInput));
        },
        call);
  });
}

watch::Watch<Registration>& registrations() {
  // Never destroyed: its thread may still run while exit() does.
  static auto& watch = *new watch::Watch<Registration>(serve);
  return watch;
}

}  // namespace

// Registered whether or not a server answers now: the watch keeps trying.
// The same four registered again stay one registration.
int32_t audio_object_add_listener(uint32_t object, const PropertyAddress& address,
                                  PropertyListener listener, void* context) {
  if (listener == nullptr) return kUnspecifiedError;
  auto added = registrations().add({object, address, listener, context});
  return added == watch::Watch<Registration>::Added::Failed ? kUnspecifiedError : 0;
}

int32_t audio_object_remove_listener(uint32_t object, const PropertyAddress& address,
                                     PropertyListener listener, void* context) {
  return registrations().remove({object, address, listener, context}) ? 0 : kUnknownProperty;
}

}  // namespace deskcap::platform
