// What changed between two readings of the display arrangement, told as
// CoreGraphics tells a reconfiguration: each affected display announced with
// kBeginConfiguration, then each one with its change flags, in the same order
// (the displays of the earlier reading first, then those that are new).
// Plain C++, so that it is tested on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace deskcap::platform::macos {

struct DisplayReading {
  uint32_t id = 0;
  Rect bounds;               // CGDisplayBounds, points
  size_t pixel_width = 0;    // of the current mode; 0 when no mode was read
  size_t point_width = 0;
};

struct Arrangement {
  std::vector<DisplayReading> displays;  // CGGetActiveDisplayList order
  uint32_t main = 0;                     // CGMainDisplayID
};

struct DisplayNotice {
  uint32_t display;
  uint32_t flags;
};

inline const DisplayReading* find_display(const Arrangement& arrangement, uint32_t id) {
  for (const DisplayReading& d : arrangement.displays)
    if (d.id == id) return &d;
  return nullptr;
}

// Flags as CoreGraphics sets them: kMoved for a new origin, kSetMode for a new
// size or mode, kDesktopShapeChanged whenever the display's part of the
// desktop changed, kSetMain only on the display that became main.
inline uint32_t display_change_flags(const Arrangement& before, const Arrangement& after,
                                     uint32_t id) {
  using namespace display_change;
  const DisplayReading* old = find_display(before, id);
  const DisplayReading* now = find_display(after, id);
  uint32_t flags = 0;
  if (old == nullptr && now == nullptr) return 0;
  if (old == nullptr) {
    flags = kAdd | kDesktopShapeChanged;
  } else if (now == nullptr) {
    flags = kRemove | kDesktopShapeChanged;
  } else {
    const bool moved = old->bounds.x != now->bounds.x || old->bounds.y != now->bounds.y;
    const bool resized =
        old->bounds.width != now->bounds.width || old->bounds.height != now->bounds.height;
    if (moved) flags |= kMoved;
    if (resized || old->pixel_width != now->pixel_width || old->point_width != now->point_width)
      flags |= kSetMode;
    if (moved || resized) flags |= kDesktopShapeChanged;
  }
  if (now != nullptr && after.main == id && before.main != id) flags |= kSetMain;
  return flags;
}

// Empty when nothing changed; otherwise the begin notices, then the changes.
inline std::vector<DisplayNotice> reconfiguration_notices(const Arrangement& before,
                                                          const Arrangement& after) {
  std::vector<DisplayNotice> changes;
  for (const DisplayReading& d : before.displays) {
    uint32_t flags = display_change_flags(before, after, d.id);
    if (flags != 0) changes.push_back({d.id, flags});
  }
  for (const DisplayReading& d : after.displays) {
    if (find_display(before, d.id) != nullptr) continue;
    changes.push_back({d.id, display_change_flags(before, after, d.id)});
  }
  std::vector<DisplayNotice> notices;
  notices.reserve(changes.size() * 2);
  for (const DisplayNotice& c : changes)
    notices.push_back({c.display, display_change::kBeginConfiguration});
  notices.insert(notices.end(), changes.begin(), changes.end());
  return notices;
}

}  // namespace deskcap::platform::macos
