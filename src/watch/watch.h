// Changes of the desktop as events: displays added, removed and changed,
// phones attached and detached, the apps recording from the microphone, and
// the Screen Recording permission. One process-wide watch thread runs the
// native observers of the kinds some subscriber wants, compares what they
// report with what it saw last, and hands each subscriber its events in order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "desktop/desktop_steps.h"
#include "phone/phone_steps.h"
#include "screen/screen.h"

namespace deskcap::watch {

// What a subscriber listens for; a mask of these.
enum Kind : uint32_t {
  kDisplays = 1,
  kIosDevices = 2,
  kMicrophoneApps = 4,
  kScreenCaptureAccess = 8,
};

struct Event {
  enum class Type {
    DisplayAdded,      // display
    DisplayRemoved,    // display, as last seen
    DisplayChanged,    // display (new) and fields
    IosDeviceAdded,    // device
    IosDeviceRemoved,  // device, as last seen
    MicrophoneAppsChanged,      // apps
    ScreenCaptureAccessChanged  // access
  };
  explicit Event(Type t) : type(t) {}
  Type type;
  DisplayEntry display;
  std::vector<std::string> fields;  // x, y, width, height, scaleFactor, isPrimary, name
  IosDevice device;
  std::vector<MicrophoneApp> apps;
  std::string access;
};

Kind kind_of(Event::Type type);

// Receives one subscriber's events. deliver() runs on the watch thread, in
// order, only with events of kinds the subscriber asked for; it must not block.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void deliver(std::vector<Event> events) = 0;
};

// Where the observers read what they compare: the desktop table that answers
// listMicrophoneApps in this build.
struct Sources {
  const DesktopNative* desktop = nullptr;
};

using SubscriptionId = uint64_t;

// Thread: any. Starts the watch thread on first use; a subscriber wants no
// kind until set_kinds. Answers 0 when the thread cannot be started.
SubscriptionId subscribe(std::shared_ptr<Sink> sink, const Sources& sources);
void set_kinds(SubscriptionId id, uint32_t kinds);
// The sink is let go; the watch thread may still be inside its deliver().
void unsubscribe(SubscriptionId id);

// What runs now, for tests: subscribers, and the kinds whose observer runs.
struct Census {
  size_t subscribers = 0;
  uint32_t observing = 0;
};
Census census();

}  // namespace deskcap::watch
