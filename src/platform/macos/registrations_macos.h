// The records behind the backend's callback registrations (display
// reconfiguration, CoreAudio listeners). A record is what the framework or
// the backend's own thread is handed, so it must stay valid for as long as a
// call through it may still be under way, which the frameworks never say: no
// record is ever freed. Removing one clears its flag; adding the same key
// again reuses it, so the records number the distinct keys ever added.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace deskcap::platform::macos {

// Not locked itself: its owner's lock guards every call. Only `active` is
// read without that lock, by whoever delivers through a record.
template <class Key>
class Registrations {
 public:
  struct Record {
    explicit Record(const Key& k) : key(k) {}
    const Key key;
    std::atomic<bool> active{false};
  };

  // The record of `key`, now active; whether it was inactive before goes to
  // *added. Null when a new record could not be allocated.
  Record* activate(const Key& key, bool* added) {
    *added = false;
    Record* record = find(key);
    if (record == nullptr) {
      try {
        records_.push_back(std::make_unique<Record>(key));
      } catch (const std::bad_alloc&) {
        return nullptr;
      }
      record = records_.back().get();
    }
    if (!record->active.load(std::memory_order_relaxed)) {
      record->active.store(true, std::memory_order_release);
      ++active_;
      *added = true;
    }
    return record;
  }

  // The record of `key`, now inactive; null when `key` was not active.
  Record* deactivate(const Key& key) {
    Record* record = find(key);
    if (record == nullptr || !record->active.load(std::memory_order_relaxed)) return nullptr;
    record->active.store(false, std::memory_order_release);
    --active_;
    return record;
  }

  size_t active_count() const { return active_; }

  // The active records, in the order their keys were first added.
  void copy_active(std::vector<Record*>* out) const {
    out->clear();
    for (const auto& record : records_)
      if (record->active.load(std::memory_order_relaxed)) out->push_back(record.get());
  }

 private:
  Record* find(const Key& key) const {
    for (const auto& record : records_)
      if (record->key == key) return record.get();
    return nullptr;
  }

  std::vector<std::unique_ptr<Record>> records_;
  size_t active_ = 0;
};

}  // namespace deskcap::platform::macos
