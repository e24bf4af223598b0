// Phones: the device watch's connect and disconnect notifications, with the
// listing's rule (muxed devices only). A phone already present when watching
// starts is not reported as added, and a detach is reported only for a phone
// seen attached, with what was seen of it.
#include <mutex>

#include "watch/observer.h"

namespace deskcap::watch {
namespace {

struct Notice {
  bool connected;
  IosDevice device;
};

// Filled by the notifying threads, drained by the watch thread.
struct Notices {
  std::mutex lock;
  std::vector<Notice> queued;
};

Notices& notices() {
  static Notices& n = *new Notices;
  return n;
}

void on_device(bool connected, const IosDevice& device) {
  {
    std::lock_guard<std::mutex> lock(notices().lock);
    notices().queued.push_back(Notice{connected, device});
  }
  wake();
}

class IosDeviceObserver final : public Observer {
 public:
  void start(const Sources&) override {
    {
      std::lock_guard<std::mutex> lock(notices().lock);
      notices().queued.clear();
    }
    // Notices that race with the first look are kept and compared after it.
    present_ = follow_ios_devices(on_device);
  }

  void stop() override {
    follow_ios_devices(nullptr);
    present_.clear();
  }

  void poll(std::vector<Event>& out) override {
    std::vector<Notice> queued;
    {
      std::lock_guard<std::mutex> lock(notices().lock);
      queued.swap(notices().queued);
    }
    for (Notice& n : queued) {
      auto it = present_.begin();
      while (it != present_.end() && it->unique_id != n.device.unique_id) ++it;
      if (n.connected && it == present_.end()) {
        present_.push_back(n.device);
        Event e(Event::Type::IosDeviceAdded);
        e.device = std::move(n.device);
        out.push_back(std::move(e));
      } else if (!n.connected && it != present_.end()) {
        Event e(Event::Type::IosDeviceRemoved);
        e.device = *it;
        out.push_back(std::move(e));
        present_.erase(it);
      }
    }
  }

 private:
  std::vector<IosDevice> present_;
};

}  // namespace

std::unique_ptr<Observer> ios_device_observer() { return std::make_unique<IosDeviceObserver>(); }

}  // namespace deskcap::watch
