// The registrations of one kind of change notification and the thread of the
// backend's own that serves them while there is at least one: it starts with
// the first registration and is stopped and joined when the last is removed.
// Registrations and the thread's notices meet under one lock that is never
// held while a callback runs or while the thread talks to its server.
#pragma once

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace deskcap::linux_backend::watch {

// One run of a watch's thread. Its stop is a descriptor too, so that the
// thread can wait on its server's socket and the stop at once.
class Run {
 public:
  Run();  // throws std::system_error without a descriptor to spare
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // Readable from the stop on, for good.
  int fd() const { return fd_; }
  bool stopping() const { return stopped_.load(); }
  void stop();

  enum class Woken { Stopped, Ready, TimedOut };
  // Waits until `fd` (ignored when negative) is readable, the run is stopped
  // or `timeout_ms` passed (never, when negative).
  Woken wait(int fd, int timeout_ms) const;

 private:
  int fd_ = -1;
  std::atomic<bool> stopped_{false};
};

template <class Entry>
class Watch {
 public:
  // What the thread does until its run is stopped; it may return earlier
  // (a build without the server), leaving the registrations in place.
  using Body = void (*)(Watch& watch, Run& run);
  explicit Watch(Body body) : body_(body) {}
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;

  enum class Added { Now, Already, Failed };
  Added add(const Entry& entry) {
    try {
      std::lock_guard<std::mutex> hold(lock_);
      if (std::find(entries_.begin(), entries_.end(), entry) != entries_.end()) return Added::Already;
      entries_.push_back(entry);
      if (entries_.size() == 1) start();
      return Added::Now;
    } catch (...) {
      std::lock_guard<std::mutex> hold(lock_);
      entries_.erase(std::remove(entries_.begin(), entries_.end(), entry), entries_.end());
      return Added::Failed;
    }
  }

  // False when `entry` was not registered. Removing the last one returns once
  // the thread has ended, unless the thread itself asks (from a callback).
  bool remove(const Entry& entry) {
    std::thread ending;
    {
      std::lock_guard<std::mutex> hold(lock_);
      auto it = std::find(entries_.begin(), entries_.end(), entry);
      if (it == entries_.end()) return false;
      entries_.erase(it);
      if (!entries_.empty() || !run_) return true;
      run_->stop();
      run_.reset();
      ending = std::move(thread_);
    }
    // Joined without the lock: a callback finishing meanwhile may register again.
    if (ending.get_id() == std::this_thread::get_id())
      ending.detach();
    else if (ending.joinable())
      ending.join();
    return true;
  }

  // From the thread: `call(entry)` for each entry `pick` accepts, with no lock
  // held. None starts once its entry was removed or the run stopped.
  template <class Pick, class Call>
  void notify(const Run& run, Pick pick, Call call) {
    std::vector<Entry> picked;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (run.stopping()) return;
      for (const Entry& e : entries_)
        if (pick(e)) picked.push_back(e);
    }
    for (const Entry& e : picked) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        if (run.stopping() || std::find(entries_.begin(), entries_.end(), e) == entries_.end()) continue;
      }
      call(e);
    }
  }

 private:
  void start() {
    auto run = std::make_shared<Run>();
    thread_ = std::thread([this, run] {
      // Nothing thrown here may end the process.
      try {
        body_(*this, *run);
      } catch (...) {
      }
    });
    run_ = std::move(run);
  }

  const Body body_;
  std::mutex lock_;
  std::vector<Entry> entries_;
  std::shared_ptr<Run> run_;  // set while the thread serves entries_
  std::thread thread_;
};

}  // namespace deskcap::linux_backend::watch
