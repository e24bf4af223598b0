// Real servers and clients the Linux watch tests start (Xorg, xrandr,
// pulseaudio, parec), and the calls their watches record from another thread.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace linux_test {

inline bool installed(const std::string& program) {
  std::stringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
  for (std::string dir; std::getline(path, dir, ':');)
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

// A child with this process's environment, its output dropped; stopped
// (SIGTERM, then reaped) when this goes.
class Child {
 public:
  explicit Child(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  // Still running (not exited, not reaped).
  bool running() {
    if (pid_ <= 0) return false;
    if (waitpid(pid_, &status_, WNOHANG) == 0) return true;
    pid_ = 0;
    return false;
  }
  // The exit status once it ended by itself; -1 when it did not exit normally.
  int wait() {
    if (pid_ > 0) waitpid(pid_, &status_, 0);
    pid_ = 0;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, &status_, 0);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
  int status_ = 0;
};

// Runs a command to its end; answers its exit status.
inline int run(const std::vector<std::string>& argv) {
  Child child(argv);
  return child.started() ? child.wait() : -1;
}

// Polls `probe` until it holds or `limit` passed; answers whether it held.
inline bool eventually(const std::function<bool()>& probe,
                       std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!probe()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    usleep(20 * 1000);
  }
  return true;
}

// What a callback saw, one entry a call, recorded from any thread.
template <class Seen>
class Calls {
 public:
  void record(Seen seen) {
    std::lock_guard<std::mutex> hold(lock_);
    seen_.push_back(std::move(seen));
    arrived_.notify_all();
  }
  size_t count() {
    std::lock_guard<std::mutex> hold(lock_);
    return seen_.size();
  }
  std::vector<Seen> all() {
    std::lock_guard<std::mutex> hold(lock_);
    return seen_;
  }
  // Waits (generously) for a call from the `from`-th on that `wanted` accepts.
  bool wait_for(size_t from, const std::function<bool(const Seen&)>& wanted,
                std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> hold(lock_);
    return arrived_.wait_for(hold, limit, [&] {
      for (size_t i = from; i < seen_.size(); ++i)
        if (wanted(seen_[i])) return true;
      return false;
    });
  }

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<Seen> seen_;
};

}  // namespace linux_test
