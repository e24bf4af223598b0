// Reference counting of the seam's opaque handles, and autorelease pools for
// the worker threads.
#import <CoreFoundation/CoreFoundation.h>

#include "platform/platform.h"

// What @autoreleasepool compiles to. The runtime exports these without a public
// header; the statement form cannot span a constructor and a destructor.
extern "C" {
void* objc_autoreleasePoolPush(void);
void objc_autoreleasePoolPop(void* pool);
}

namespace deskcap::platform {

// Every handle is an Objective-C, CoreFoundation or dispatch object (an
// io_service_t travels inside a small object of its own), and CFRetain and
// CFRelease are valid on all of them.
void retain(const void* object) {
  if (object != nullptr) CFRetain(object);
}

void release(const void* object) {
  if (object != nullptr) CFRelease(object);
}

// Worker threads have no run loop to drain a pool, so whatever the frameworks
// autorelease during a native call would otherwise stay until the thread ends.
AutoreleasePool::AutoreleasePool() : token_(objc_autoreleasePoolPush()) {}
AutoreleasePool::~AutoreleasePool() { objc_autoreleasePoolPop(token_); }

}  // namespace deskcap::platform
