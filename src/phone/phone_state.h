// The phone layer's process-wide state: whether screen-capture devices were
// enabled, the listing's last summaries and the device watch. As on a Mac it
// lasts for the process; each piece is made once and never destroyed, since
// worker threads may use it while the process exits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "phone/phone_internal.h"

namespace deskcap::phone {

// The enable lock guards the flag. The property write itself runs with the
// lock released, but `writing` keeps a second writer out until the first has
// finished, so the property is never written again after a success.
struct EnableState {
  std::mutex lock;
  std::condition_variable done;
  bool enabled = false;
  bool writing = false;
};
EnableState& enable_state();

// The listing lock guards the two summaries only; they are computed outside it.
struct ListingState {
  std::mutex lock;
  std::optional<std::string> last_landscape;
  std::optional<std::string> last_found;
};
ListingState& listing_state();

// The id is read once, outside the lock, so that the lock never covers a
// framework call; a device's uniqueID does not change.
struct KnownDevice {
  DeviceRef device;
  std::string unique_id;
};
using KnownEntry = std::shared_ptr<const KnownDevice>;

struct WatchState {
  WatchState() { once.store(&tokens.emplace_back()); }
  std::deque<std::once_flag> tokens;  // the current one last; a new one after a fresh start
  std::atomic<std::once_flag*> once{nullptr};
  std::atomic<platform::DiscoverySession*> session{nullptr};
  std::mutex known_lock;  // the known-devices lock
  std::vector<KnownEntry> known;
};
WatchState& watch_state();

}  // namespace deskcap::phone
