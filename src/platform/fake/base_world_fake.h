// The fake world: a scriptable, in-memory stand-in for the operating system,
// described by one JSON document (docs/fake-world.md). The first world comes
// from the file named by DESKCAP_FAKE_WORLD; later ones from set_world()
// (setWorld in JavaScript, C++ tests in code). Documents are checked strictly
// and their old section names folded into the one desktop (base_world_reader).
// Each facility (screen_*, phone_*, desktop_*) keeps its live state, rebuilt
// when the world changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace deskcap::fake {

using json = nlohmann::json;

// A world that cannot be used; what() names the offending field's path
// ("screen.displays[0].bounds.widht: unknown field").
struct WorldError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The current world, in its canonical form (an empty object when none was
// given). Thread: any.
std::shared_ptr<const json> world();
// A copy of world()[key], or null when absent.
json section(const char* key);
// Checks `document` (strictly unless it says "lenient": true), folds the old
// section names into the canonical form, installs it and bumps the
// generation, so that every facility drops its state. Throws WorldError and
// keeps the current world when the document is refused.
void set_world(json document);
// The JSON document of a world file; throws WorldError naming the path.
json read_world_file(const std::string& path);
// Installs the world of DESKCAP_FAKE_WORLD unless a world is already current.
// Throws WorldError for a bad file; the empty world stays current then.
void load_environment_world();
// A change of part of the current world, in two steps so that what a Mac
// reports before a change can be reported in between. checked_change applies
// `patch` to the canonical world as a JSON merge patch (RFC 7386: objects
// merge, any other value, a list included, replaces; null removes) and
// answers the result checked as set_world checks, or throws WorldError.
// install_change installs such a result without a fresh start: facilities
// rebuild only the state of the sections that changed. It answers the world
// it replaced.
json checked_change(const json& patch);
std::shared_ptr<const json> install_change(json canonical);
// Grows by one at every set_world, install_change (and the first load).
uint64_t generation();
// Grows by one at every set_world (and the first load) only.
uint64_t fresh_generation();

// The canonical form of a checked document: the one desktop's "applications",
// "windows" and "displays" at the top, gathered from those and from the old
// screen.* and desktop.* lists. Throws WorldError when strict reading refuses it.
json canonical_world(const json& document);

// The bytes that pairs of hex digits (either case) spell, as the world writes
// colours and byte strings; nullopt for an odd length or any other character.
std::optional<std::string> from_hex(std::string_view text);

// "timeScale" (default 1): every delay, sleep and timeout of the world is
// multiplied by it, so that a 60 s wait can take 60 ms in a test.
double time_scale();
int64_t scaled_ns(double seconds);

// How a completion is delivered, from a behaviour object
//   {"deliver": "thread" | "sync" | "never", "delayMs": 0}
// ("thread" is the default): on another thread after the scaled delay, inside
// the caller before it returns, or not at all (fn is destroyed unrun).
void deliver(const json& behaviour, std::function<void()> fn);
// Runs fn on another thread after `seconds` (scaled): at once on a long-lived
// one (another starts when all are busy), later on one of its own.
void run_later(double seconds, std::function<void()> fn);

// Base of every fake framework object: reference counted through
// platform::retain/release, and counted by kind while alive so that tests can
// check that every path released what it made. `kind` is a string literal.
struct FakeObject {
  explicit FakeObject(const char* kind = "Object");
  virtual ~FakeObject();
  FakeObject(const FakeObject&) = delete;
  FakeObject& operator=(const FakeObject&) = delete;
  std::atomic<long> references{1};
  const char* const kind;
};
// Fake framework objects alive right now, in all and by kind.
long live_objects();
json live_objects_by_kind();

// True when a state built from `before` must be rebuilt for `after`: one of
// the top-level `keys` it reads differs.
bool sections_differ(const json& before, const json& after, const std::vector<const char*>& keys);

// Runs body under a section's lock with its state rebuilt after a set_world,
// or after an install_change that changed one of the top-level `keys` it reads.
template <class State>
class SectionState {
 public:
  SectionState(std::vector<const char*> keys, std::function<void(State&, const json&)> load)
      : keys_(std::move(keys)), load_(std::move(load)) {}
  template <class Fn>
  auto with(Fn&& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    uint64_t now = generation();
    if (now != built_) {
      std::shared_ptr<const json> current = world();
      uint64_t fresh = fresh_generation();
      if (fresh != fresh_ || !from_ || sections_differ(*from_, *current, keys_)) {
        state_ = State{};
        load_(state_, *current);
      }
      from_ = std::move(current);
      fresh_ = fresh;
      built_ = now;
    }
    return body(state_);
  }

 private:
  std::mutex mutex_;
  uint64_t built_ = 0, fresh_ = 0;
  std::shared_ptr<const json> from_;
  State state_{};
  std::vector<const char*> keys_;
  std::function<void(State&, const json&)> load_;
};

}  // namespace deskcap::fake
