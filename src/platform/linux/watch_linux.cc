#include "platform/linux/watch_linux.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <system_error>

namespace deskcap::linux_backend::watch {

Run::Run() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Run::~Run() { close(fd_); }

void Run::stop() {
  stopped_.store(true);
  // Never read back: the descriptor stays readable for every later wait.
  uint64_t one = 1;
  ssize_t written = write(fd_, &one, sizeof one);
  (void)written;
}

Run::Woken Run::wait(int fd, int timeout_ms) const {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {fd, POLLIN, 0}};
  int n = poll(fds, fd >= 0 ? 2 : 1, timeout_ms);
  if (stopping()) return Woken::Stopped;
  if (n < 0) return Woken::TimedOut;  // a signal: the caller looks again
  if (n == 0) return Woken::TimedOut;
  return Woken::Ready;
}

}  // namespace deskcap::linux_backend::watch
