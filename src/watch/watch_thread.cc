// The watch thread: one per process, started by the first subscriber and
// never ended (a detached thread keeps no process alive). It starts and stops
// the observers to match what the subscribers want, so that an observer runs
// only while someone listens for its kind, and it is the only thread that
// polls them, so that their events come in one order for everyone.
#include <array>
#include <condition_variable>
#include <map>
#include <mutex>

#include "core/thread_start.h"
#include "platform/platform.h"
#include "watch/observer.h"

namespace deskcap::watch {
namespace {

constexpr size_t kKinds = 4;

struct Subscriber {
  std::shared_ptr<Sink> sink;
  uint32_t kinds = 0;
};

// Never destroyed: the thread may run while the process exits.
struct Hub {
  std::mutex lock;
  std::condition_variable woken;
  bool wake = false;
  bool started = false;
  std::map<SubscriptionId, Subscriber> subscribers;
  SubscriptionId next = 1;
  Sources sources;
  uint32_t observing = 0;
};

Hub& hub() {
  static Hub& h = *new Hub;
  return h;
}

using Observers = std::array<std::unique_ptr<Observer>, kKinds>;

// One turn of the thread: the observers matched to what is wanted, polled,
// and their events handed out. Answers how long the thread may sleep.
std::optional<std::chrono::milliseconds> turn(Observers& observers, uint32_t& running) {
  // A thread of the system's own has no pool the frameworks could put
  // autoreleased objects in: one per turn, drained before sleeping.
  platform::AutoreleasePool pool;
  Hub& h = hub();
  std::vector<Subscriber> subscribers;
  Sources sources;
  {
    std::lock_guard<std::mutex> lock(h.lock);
    for (const auto& [id, s] : h.subscribers) subscribers.push_back(s);
    sources = h.sources;
  }
  uint32_t wanted = 0;
  for (const Subscriber& s : subscribers) wanted |= s.kinds;
  for (size_t i = 0; i < kKinds; ++i) {
    uint32_t bit = 1u << i;
    if ((wanted & bit) && !(running & bit)) observers[i]->start(sources);
    if (!(wanted & bit) && (running & bit)) observers[i]->stop();
  }
  running = wanted;
  {
    std::lock_guard<std::mutex> lock(h.lock);
    h.observing = running;
  }

  std::vector<Event> events;
  std::optional<std::chrono::milliseconds> patience;
  for (size_t i = 0; i < kKinds; ++i) {
    if (!(running & (1u << i))) continue;
    observers[i]->poll(events);
    if (auto p = observers[i]->patience(); p && (!patience || *p < *patience)) patience = p;
  }
  if (events.empty()) return patience;
  for (const Subscriber& s : subscribers) {
    std::vector<Event> mine;
    for (const Event& e : events)
      if (s.kinds & kind_of(e.type)) mine.push_back(e);
    if (!mine.empty()) s.sink->deliver(std::move(mine));
  }
  return patience;  // the sinks are let go before sleeping
}

void run() {
  Observers observers{display_observer(), ios_device_observer(), microphone_observer(), access_observer()};
  uint32_t running = 0;
  Hub& h = hub();
  for (;;) {
    std::optional<std::chrono::milliseconds> patience = turn(observers, running);
    std::unique_lock<std::mutex> lock(h.lock);
    if (patience) h.woken.wait_for(lock, *patience, [&] { return h.wake; });
    else h.woken.wait(lock, [&] { return h.wake; });
    h.wake = false;
  }
}

// Under the hub lock.
void wake_locked(Hub& h) {
  h.wake = true;
  h.woken.notify_one();
}

}  // namespace

Kind kind_of(Event::Type type) {
  switch (type) {
    case Event::Type::DisplayAdded:
    case Event::Type::DisplayRemoved:
    case Event::Type::DisplayChanged:
      return kDisplays;
    case Event::Type::IosDeviceAdded:
    case Event::Type::IosDeviceRemoved:
      return kIosDevices;
    case Event::Type::MicrophoneAppsChanged:
      return kMicrophoneApps;
    case Event::Type::ScreenCaptureAccessChanged:
      return kScreenCaptureAccess;
  }
  return kDisplays;
}

void wake() {
  Hub& h = hub();
  std::lock_guard<std::mutex> lock(h.lock);
  wake_locked(h);
}

SubscriptionId subscribe(std::shared_ptr<Sink> sink, const Sources& sources) {
  Hub& h = hub();
  std::lock_guard<std::mutex> lock(h.lock);
  if (!h.started) {
    if (start_detached_thread("deskcap-watch", 512 * 1024, [] { run(); }) != 0) return 0;
    h.started = true;
  }
  if (sources.desktop != nullptr) h.sources = sources;
  SubscriptionId id = h.next++;
  h.subscribers[id] = Subscriber{std::move(sink), 0};
  return id;
}

void set_kinds(SubscriptionId id, uint32_t kinds) {
  Hub& h = hub();
  std::lock_guard<std::mutex> lock(h.lock);
  auto it = h.subscribers.find(id);
  if (it == h.subscribers.end() || it->second.kinds == kinds) return;
  it->second.kinds = kinds;
  wake_locked(h);
}

void unsubscribe(SubscriptionId id) {
  std::shared_ptr<Sink> gone;  // let go after the lock
  Hub& h = hub();
  std::lock_guard<std::mutex> lock(h.lock);
  auto it = h.subscribers.find(id);
  if (it == h.subscribers.end()) return;
  gone = std::move(it->second.sink);
  h.subscribers.erase(it);
  wake_locked(h);
}

Census census() {
  Hub& h = hub();
  std::lock_guard<std::mutex> lock(h.lock);
  return Census{h.subscribers.size(), h.observing};
}

}  // namespace deskcap::watch
