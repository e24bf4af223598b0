// CoreGraphics display reconfiguration callbacks. A world change reports its
// displays through post_reconfiguration (testing/world_control.cc).
#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/fake/screen_fake.h"

namespace deskcap::fake::screen {
namespace {

using Registration = std::pair<platform::DisplayReconfigurationCallback, void*>;

// Registrations live for the process, as CoreGraphics keeps them.
struct Callbacks {
  std::mutex lock;
  std::vector<Registration> registered;
};

Callbacks& callbacks() {
  static Callbacks& c = *new Callbacks;
  return c;
}

constexpr int32_t kIllegalArgument = 1001;  // kCGErrorIllegalArgument

}  // namespace

size_t reconfiguration_callbacks() {
  std::lock_guard<std::mutex> lock(callbacks().lock);
  return callbacks().registered.size();
}

void post_reconfiguration(uint32_t display, uint32_t flags) {
  std::vector<Registration> copy;
  {
    std::lock_guard<std::mutex> lock(callbacks().lock);
    copy = callbacks().registered;
  }
  for (auto& [callback, context] : copy) callback(display, flags, context);
}

}  // namespace deskcap::fake::screen

namespace deskcap::platform {

int32_t display_register_reconfiguration(DisplayReconfigurationCallback callback, void* context) {
  if (callback == nullptr) return fake::screen::kIllegalArgument;
  auto& c = fake::screen::callbacks();
  std::lock_guard<std::mutex> lock(c.lock);
  fake::screen::Registration entry{callback, context};
  if (std::find(c.registered.begin(), c.registered.end(), entry) == c.registered.end())
    c.registered.push_back(entry);
  return 0;
}

int32_t display_remove_reconfiguration(DisplayReconfigurationCallback callback, void* context) {
  auto& c = fake::screen::callbacks();
  std::lock_guard<std::mutex> lock(c.lock);
  auto it = std::find(c.registered.begin(), c.registered.end(), fake::screen::Registration{callback, context});
  if (it == c.registered.end()) return fake::screen::kIllegalArgument;
  c.registered.erase(it);
  return 0;
}

}  // namespace deskcap::platform
