// The macOS backend's plain C++ logic, run on any host by
// scripts/check-macos-selftest.sh: the reconfiguration report the display
// thread derives from two readings, and the registration records handed to
// the frameworks. Exits non-zero after printing each failed expectation.
#include <cstdio>
#include <vector>

#include "platform/macos/registrations_macos.h"
#include "platform/macos/screen_arrangement_macos.h"
#include "platform/platform.h"

namespace {

using namespace deskcap::platform::display_change;
using deskcap::platform::Rect;
using deskcap::platform::macos::Arrangement;
using deskcap::platform::macos::DisplayNotice;
using deskcap::platform::macos::DisplayReading;
using deskcap::platform::macos::reconfiguration_notices;
using deskcap::platform::macos::Registrations;

int failures = 0;

void expect(bool ok, const char* what, int line) {
  if (ok) return;
  std::printf("FAIL line %d: %s\n", line, what);
  ++failures;
}
#define EXPECT(cond) expect((cond), #cond, __LINE__)

DisplayReading display(uint32_t id, double x, double y, double w, double h, size_t pixels) {
  DisplayReading d;
  d.id = id;
  d.bounds = Rect{x, y, w, h};
  d.pixel_width = pixels;
  d.point_width = static_cast<size_t>(w);
  return d;
}

Arrangement arrangement(std::vector<DisplayReading> displays, uint32_t main) {
  Arrangement a;
  a.displays = std::move(displays);
  a.main = main;
  return a;
}

bool same(const std::vector<DisplayNotice>& got, const std::vector<DisplayNotice>& want) {
  if (got.size() != want.size()) return false;
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i].display != want[i].display || got[i].flags != want[i].flags) return false;
  return true;
}

void nothing_changed() {
  Arrangement a = arrangement({display(1, 0, 0, 1440, 900, 2880)}, 1);
  EXPECT(reconfiguration_notices(a, a).empty());
}

void a_display_is_added_after_the_others() {
  Arrangement before = arrangement({display(1, 0, 0, 1440, 900, 2880)}, 1);
  Arrangement after = arrangement(
      {display(2, 1440, 0, 1920, 1080, 1920), display(1, 0, 0, 1440, 900, 2880)}, 1);
  EXPECT(same(reconfiguration_notices(before, after),
              {{2, kBeginConfiguration}, {2, kAdd | kDesktopShapeChanged}}));
}

void a_display_is_removed() {
  Arrangement before = arrangement(
      {display(1, 0, 0, 1440, 900, 2880), display(2, 1440, 0, 1920, 1080, 1920)}, 1);
  Arrangement after = arrangement({display(1, 0, 0, 1440, 900, 2880)}, 1);
  EXPECT(same(reconfiguration_notices(before, after),
              {{2, kBeginConfiguration}, {2, kRemove | kDesktopShapeChanged}}));
}

void a_move_is_not_a_mode_change() {
  Arrangement before = arrangement(
      {display(1, 0, 0, 1440, 900, 2880), display(2, 1440, 0, 1920, 1080, 1920)}, 1);
  Arrangement after = arrangement(
      {display(1, 0, 0, 1440, 900, 2880), display(2, -1920, 0, 1920, 1080, 1920)}, 1);
  EXPECT(same(reconfiguration_notices(before, after),
              {{2, kBeginConfiguration}, {2, kMoved | kDesktopShapeChanged}}));
}

void a_new_backing_scale_is_a_mode_change_of_the_same_shape() {
  Arrangement before = arrangement({display(1, 0, 0, 1440, 900, 2880)}, 1);
  Arrangement after = arrangement({display(1, 0, 0, 1440, 900, 1440)}, 1);
  EXPECT(same(reconfiguration_notices(before, after),
              {{1, kBeginConfiguration}, {1, kSetMode}}));
}

void a_new_point_size_is_a_mode_change_and_a_new_shape() {
  Arrangement before = arrangement({display(1, 0, 0, 1440, 900, 2880)}, 1);
  Arrangement after = arrangement({display(1, 0, 0, 1680, 1050, 3360)}, 1);
  EXPECT(same(reconfiguration_notices(before, after),
              {{1, kBeginConfiguration}, {1, kSetMode | kDesktopShapeChanged}}));
}

// The main display sits at the origin, so a new main moves both.
void only_the_new_main_display_is_set_main() {
  Arrangement before = arrangement(
      {display(1, 0, 0, 1440, 900, 2880), display(2, 1440, 0, 1920, 1080, 1920)}, 1);
  Arrangement after = arrangement(
      {display(1, -1440, 0, 1440, 900, 2880), display(2, 0, 0, 1920, 1080, 1920)}, 2);
  EXPECT(same(reconfiguration_notices(before, after),
              {{1, kBeginConfiguration},
               {2, kBeginConfiguration},
               {1, kMoved | kDesktopShapeChanged},
               {2, kMoved | kDesktopShapeChanged | kSetMain}}));
}

void a_display_added_as_main() {
  Arrangement before = arrangement({display(1, 0, 0, 1440, 900, 2880)}, 1);
  Arrangement after = arrangement(
      {display(1, 1920, 0, 1440, 900, 2880), display(3, 0, 0, 1920, 1080, 1920)}, 3);
  EXPECT(same(reconfiguration_notices(before, after),
              {{1, kBeginConfiguration},
               {3, kBeginConfiguration},
               {1, kMoved | kDesktopShapeChanged},
               {3, kAdd | kDesktopShapeChanged | kSetMain}}));
}

struct Key {
  int a;
  void* b;
  bool operator==(const Key& o) const { return a == o.a && b == o.b; }
};

void a_record_is_kept_and_reused() {
  Registrations<Key> r;
  bool added = false;
  auto* first = r.activate(Key{1, nullptr}, &added);
  EXPECT(first != nullptr && added && first->active.load());
  EXPECT(r.activate(Key{1, nullptr}, &added) == first && !added);
  EXPECT(r.active_count() == 1);
  auto* other = r.activate(Key{1, &failures}, &added);
  EXPECT(other != nullptr && other != first && added && r.active_count() == 2);

  EXPECT(r.deactivate(Key{1, nullptr}) == first);
  EXPECT(!first->active.load() && r.active_count() == 1);
  EXPECT(r.deactivate(Key{1, nullptr}) == nullptr && r.active_count() == 1);
  EXPECT(r.deactivate(Key{2, nullptr}) == nullptr);

  std::vector<Registrations<Key>::Record*> active;
  r.copy_active(&active);
  EXPECT(active.size() == 1 && active[0] == other);

  // The framework may still hold the old record: the same key gets it back.
  EXPECT(r.activate(Key{1, nullptr}, &added) == first && added && first->active.load());
  r.copy_active(&active);
  EXPECT(active.size() == 2 && active[0] == first && active[1] == other);
}

}  // namespace

int main() {
  nothing_changed();
  a_display_is_added_after_the_others();
  a_display_is_removed();
  a_move_is_not_a_mode_change();
  a_new_backing_scale_is_a_mode_change_of_the_same_shape();
  a_new_point_size_is_a_mode_change_and_a_new_shape();
  only_the_new_main_display_is_set_main();
  a_display_added_as_main();
  a_record_is_kept_and_reused();
  if (failures == 0) std::printf("backend logic: all expectations held\n");
  return failures == 0 ? 0 : 1;
}
