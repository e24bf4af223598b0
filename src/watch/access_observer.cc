// The Screen Recording permission: TCC posts no change notification, so the
// state is read once a second while someone listens.
#include "watch/observer.h"

namespace deskcap::watch {
namespace {

constexpr std::chrono::milliseconds kInterval{1000};

class AccessObserver final : public Observer {
 public:
  void start(const Sources&) override {
    last_ = screen_capture_access_step();
    read_at_ = std::chrono::steady_clock::now();
  }

  void stop() override { last_.clear(); }

  void poll(std::vector<Event>& out) override {
    auto now = std::chrono::steady_clock::now();
    if (now - read_at_ < kInterval) return;
    read_at_ = now;
    std::string state = screen_capture_access_step();
    if (state == last_) return;
    last_ = state;
    Event e(Event::Type::ScreenCaptureAccessChanged);
    e.access = std::move(state);
    out.push_back(std::move(e));
  }

  std::optional<std::chrono::milliseconds> patience() const override {
    auto left = kInterval - std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - read_at_);
    return left.count() > 0 ? left : std::chrono::milliseconds(0);
  }

 private:
  std::string last_;
  std::chrono::steady_clock::time_point read_at_;
};

}  // namespace

std::unique_ptr<Observer> access_observer() { return std::make_unique<AccessObserver>(); }

}  // namespace deskcap::watch
