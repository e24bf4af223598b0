// The phone-capture diagnostic log: every entry goes to stderr at once and is
// kept (the last 256) until the host drains it.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include "boundary/c_guard.h"
#include "boundary/native.h"
#include "platform/platform.h"

namespace {

constexpr size_t kCapacity = 256;

struct LogState {
  std::mutex lock;
  std::deque<std::string> entries;
};

// Never destroyed: threads may still log while the process exits.
LogState& log_state() {
  static LogState& state = *new LogState;
  return state;
}

// DESKCAP_IOS_LOG_STDERR=0 keeps the lines off standard error; read once, at
// the first entry, since the environment may change under other threads.
bool echo_to_stderr() {
  static const bool echo = [] {
    const char* value = std::getenv("DESKCAP_IOS_LOG_STDERR");
    return value == nullptr || std::strcmp(value, "0") != 0;
  }();
  return echo;
}

std::string format_message(const char* format, va_list args) {
  char small[256];
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  if (length < 0) {
    va_end(again);
    return format;  // an encoding error: the format itself is the best we have
  }
  if (static_cast<size_t>(length) < sizeof small) {
    va_end(again);
    return std::string(small, static_cast<size_t>(length));
  }
  std::string message(static_cast<size_t>(length), '\0');
  std::vsnprintf(message.data(), message.size() + 1, format, again);
  va_end(again);
  return message;
}

// Bytes of the entries joined by "\n".
size_t joined_size(const std::deque<std::string>& entries) {
  size_t size = entries.empty() ? 0 : entries.size() - 1;
  for (const auto& entry : entries) size += entry.size();
  return size;
}

void write_entry(const char* format, va_list args) {
  std::string message = format_message(format != nullptr ? format : "", args);

  // One write per line, before the lock, so that concurrent lines never mix.
  if (echo_to_stderr()) {
    std::string line = "KR_IOS " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }

  LogState& state = log_state();
  std::lock_guard<std::mutex> hold(state.lock);
  if (state.entries.size() >= kCapacity) state.entries.pop_front();
  state.entries.push_back(std::move(message));
}

}  // namespace

// Logging never fails towards its caller; an entry that could not be made is lost.
extern "C" void ios_log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  deskcap::guarded([&] { write_entry(format, args); });
  va_end(args);
}

namespace {

char* take_log() {
  deskcap::platform::AutoreleasePool pool;
  LogState& state = log_state();
  size_t wanted;
  {
    std::lock_guard<std::mutex> hold(state.lock);
    wanted = joined_size(state.entries);
  }
  // The block is allocated outside the lock; the entries are only removed once
  // a block holds them, so a failed allocation loses nothing. Writers may add
  // entries meanwhile: then the block is too small and is made again.
  for (int attempt = 0;; ++attempt) {
    size_t capacity = attempt == 0 ? wanted : wanted + wanted / 2 + 1024;
    auto* block = static_cast<char*>(deskcap::platform::boundary_malloc(capacity + 1));
    if (block == nullptr) return nullptr;
    {
      std::lock_guard<std::mutex> hold(state.lock);
      wanted = joined_size(state.entries);
      if (wanted <= capacity) {
        char* at = block;
        for (size_t i = 0; i < state.entries.size(); ++i) {
          if (i != 0) *at++ = '\n';
          std::memcpy(at, state.entries[i].data(), state.entries[i].size());
          at += state.entries[i].size();
        }
        *at = '\0';
        state.entries.clear();
        return block;
      }
    }
    native_free(block);
  }
}

}  // namespace

extern "C" char* ios_take_log(void) { return deskcap::guarded<char*>(nullptr, take_log); }
