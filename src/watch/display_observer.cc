// Displays: CoreGraphics' reconfiguration callbacks. A reconfiguration is
// announced to each display it touches before it is applied, then reported
// per display once it is; the list is read only when every announced display
// has reported, so that nobody sees a half-applied arrangement.
#include <mutex>
#include <set>

#include "platform/platform.h"
#include "watch/observer.h"

namespace deskcap::watch {
namespace {

// A begin whose report never comes (a display gone mid-change) holds the
// list back at most this long.
constexpr std::chrono::milliseconds kBeginPatience{2000};

// The callbacks' side: what is announced and whether anything happened.
// Never destroyed, since a callback may still run after removal returns.
struct Reconfiguration {
  std::mutex lock;
  std::set<uint32_t> announced;
  bool changed = false;
  std::chrono::steady_clock::time_point since;
};

Reconfiguration& reconfiguration() {
  static Reconfiguration& r = *new Reconfiguration;
  return r;
}

void on_reconfiguration(uint32_t display, uint32_t flags, void*) {
  Reconfiguration& r = reconfiguration();
  {
    std::lock_guard<std::mutex> lock(r.lock);
    if (flags & platform::display_change::kBeginConfiguration) {
      if (r.announced.empty()) r.since = std::chrono::steady_clock::now();
      r.announced.insert(display);
      return;
    }
    r.announced.erase(display);
    r.changed = true;
  }
  wake();
}

Event with_display(Event::Type type, const DisplayEntry& display) {
  Event e(type);
  e.display = display;
  return e;
}

void append_field(std::vector<std::string>& fields, bool differs, const char* name) {
  if (differs) fields.emplace_back(name);
}

class DisplayObserver final : public Observer {
 public:
  void start(const Sources&) override {
    {
      Reconfiguration& r = reconfiguration();
      std::lock_guard<std::mutex> lock(r.lock);
      r.announced.clear();
      r.changed = false;
    }
    registered_ = platform::display_register_reconfiguration(on_reconfiguration, nullptr) == 0;
    auto listed = get_displays();
    last_ = listed.ok() ? listed.take() : std::vector<DisplayEntry>{};
  }

  void stop() override {
    if (registered_) platform::display_remove_reconfiguration(on_reconfiguration, nullptr);
    registered_ = false;
    last_.clear();
  }

  void poll(std::vector<Event>& out) override {
    waiting_.reset();
    {
      Reconfiguration& r = reconfiguration();
      std::lock_guard<std::mutex> lock(r.lock);
      if (!r.changed && r.announced.empty()) return;
      auto held = std::chrono::steady_clock::now() - r.since;
      if (!r.announced.empty() && held < kBeginPatience) {
        // The reports wake the thread; this is only for one that never comes.
        waiting_ = std::chrono::duration_cast<std::chrono::milliseconds>(kBeginPatience - held) +
                   std::chrono::milliseconds(1);
        return;
      }
      r.announced.clear();
      r.changed = false;
    }
    auto listed = get_displays();
    if (!listed.ok()) return;  // compared again at the next change
    std::vector<DisplayEntry> now = listed.take();
    compare(last_, now, out);
    last_ = std::move(now);
  }

  std::optional<std::chrono::milliseconds> patience() const override { return waiting_; }

 private:
  static const DisplayEntry* find(const std::vector<DisplayEntry>& list, uint32_t id) {
    for (const DisplayEntry& d : list)
      if (d.id == id) return &d;
    return nullptr;
  }

  // Removals in the old order, then additions and changes in the new one.
  static void compare(const std::vector<DisplayEntry>& before, const std::vector<DisplayEntry>& after,
                      std::vector<Event>& out) {
    for (const DisplayEntry& d : before)
      if (find(after, d.id) == nullptr) out.push_back(with_display(Event::Type::DisplayRemoved, d));
    for (const DisplayEntry& d : after) {
      const DisplayEntry* old = find(before, d.id);
      if (old == nullptr) {
        out.push_back(with_display(Event::Type::DisplayAdded, d));
        continue;
      }
      std::vector<std::string> fields;
      append_field(fields, old->x != d.x, "x");
      append_field(fields, old->y != d.y, "y");
      append_field(fields, old->width != d.width, "width");
      append_field(fields, old->height != d.height, "height");
      append_field(fields, old->scale_factor != d.scale_factor, "scaleFactor");
      append_field(fields, old->is_primary != d.is_primary, "isPrimary");
      append_field(fields, old->name != d.name, "name");
      if (fields.empty()) continue;
      Event e = with_display(Event::Type::DisplayChanged, d);
      e.fields = std::move(fields);
      out.push_back(std::move(e));
    }
  }

  bool registered_ = false;
  std::optional<std::chrono::milliseconds> waiting_;  // until a lost report is given up
  std::vector<DisplayEntry> last_;
};

}  // namespace

std::unique_ptr<Observer> display_observer() { return std::make_unique<DisplayObserver>(); }

}  // namespace deskcap::watch
