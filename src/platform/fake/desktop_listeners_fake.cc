// CoreAudio property listeners. A world change reports the process list and
// the processes' input through post_audio_change (testing/world_control.cc).
#include <algorithm>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/fake/desktop_fake.h"

namespace deskcap::fake {
namespace {

struct Listener {
  uint32_t object;
  platform::PropertyAddress address;
  platform::PropertyListener listener;
  void* context;
  bool operator==(const Listener& o) const {
    return std::tie(object, address.selector, address.scope, address.element, listener, context) ==
           std::tie(o.object, o.address.selector, o.address.scope, o.address.element, o.listener, o.context);
  }
};

struct Listeners {
  std::mutex lock;
  std::vector<Listener> registered;
};

Listeners& listeners() {
  static Listeners& l = *new Listeners;
  return l;
}

}  // namespace

size_t audio_listeners() {
  std::lock_guard<std::mutex> lock(listeners().lock);
  return listeners().registered.size();
}

void post_audio_change(uint32_t object, const platform::PropertyAddress& address) {
  std::vector<Listener> matching;
  {
    std::lock_guard<std::mutex> lock(listeners().lock);
    for (const Listener& l : listeners().registered)
      if (l.object == object && l.address.selector == address.selector && l.address.scope == address.scope &&
          l.address.element == address.element)
        matching.push_back(l);
  }
  for (const Listener& l : matching) l.listener(object, address, l.context);
}

}  // namespace deskcap::fake

namespace deskcap::platform {

int32_t audio_object_add_listener(uint32_t object, const PropertyAddress& address, PropertyListener listener,
                                  void* context) {
  if (listener == nullptr) return coreaudio::kUnknownProperty;
  auto& l = fake::listeners();
  std::lock_guard<std::mutex> lock(l.lock);
  fake::Listener entry{object, address, listener, context};
  if (std::find(l.registered.begin(), l.registered.end(), entry) == l.registered.end())
    l.registered.push_back(entry);
  return 0;
}

int32_t audio_object_remove_listener(uint32_t object, const PropertyAddress& address, PropertyListener listener,
                                     void* context) {
  auto& l = fake::listeners();
  std::lock_guard<std::mutex> lock(l.lock);
  auto it = std::find(l.registered.begin(), l.registered.end(), fake::Listener{object, address, listener, context});
  if (it == l.registered.end()) return coreaudio::kUnknownProperty;
  l.registered.erase(it);
  return 0;
}

}  // namespace deskcap::platform
