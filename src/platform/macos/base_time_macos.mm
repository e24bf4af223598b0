// Sleeps and dispatch semaphores.
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::Borrow;
using macos::HandOver;

void sleep_for_interval(double seconds) { [NSThread sleepForTimeInterval:seconds]; }

Semaphore* semaphore_create(long value) {
  return HandOver<Semaphore>(dispatch_semaphore_create(value));
}

long semaphore_signal(Semaphore* semaphore) {
  return dispatch_semaphore_signal(Borrow<dispatch_semaphore_t>(semaphore));
}

long semaphore_wait(Semaphore* semaphore, int64_t timeout_ns) {
  dispatch_time_t deadline =
      timeout_ns < 0 ? DISPATCH_TIME_FOREVER : dispatch_time(DISPATCH_TIME_NOW, timeout_ns);
  return dispatch_semaphore_wait(Borrow<dispatch_semaphore_t>(semaphore), deadline);
}

}  // namespace deskcap::platform
