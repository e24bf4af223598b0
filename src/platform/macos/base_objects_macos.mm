// Reference counting of the seam's opaque handles, and autorelease pools for
// the worker threads.
#import <Foundation/Foundation.h>

#include "platform/platform.h"

// What @autoreleasepool compiles to. The runtime exports these without a public
// header; the statement form cannot span a constructor and a destructor.
extern "C" {
void* objc_autoreleasePoolPush(void);
void objc_autoreleasePoolPop(void* pool);
}

namespace deskcap::platform {

// Every handle is an Objective-C object, a dispatch object (an Objective-C
// object under ARC) or a CoreFoundation type bridged to id (an io_service_t
// travels inside a small object of its own), so the runtime's own retain and
// release, reached through ARC's bridge casts, fit all of them. (CFBridgingRelease
// would autorelease, and the JavaScript thread never drains a pool.)
void retain(const void* object) {
  if (object != nullptr) (void)(__bridge_retained CFTypeRef)(__bridge id)object;
}

void release(const void* object) {
  if (object == nullptr) return;
  id adopted = (__bridge_transfer id)object;  // released by ARC as it goes out of scope
  (void)adopted;
}

// Worker threads have no run loop to drain a pool, so whatever the frameworks
// autorelease during a native call would otherwise stay until the thread ends.
AutoreleasePool::AutoreleasePool() : token_(objc_autoreleasePoolPush()) {}
AutoreleasePool::~AutoreleasePool() { objc_autoreleasePoolPop(token_); }

}  // namespace deskcap::platform
