// CoreFoundation/CFRunLoop.h: the main run loop, turned by hand. Like the real
// header, this one carries no nullability annotations.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef CFStringRef CFRunLoopMode;
typedef struct CF_BRIDGED_MUTABLE_TYPE(id) __CFRunLoop* CFRunLoopRef;
typedef CF_ENUM(SInt32, CFRunLoopRunResult) {
  kCFRunLoopRunFinished = 1,
  kCFRunLoopRunStopped = 2,
  kCFRunLoopRunTimedOut = 3,
  kCFRunLoopRunHandledSource = 4,
};

DC_EXTERN_C const CFRunLoopMode kCFRunLoopDefaultMode;
DC_EXTERN_C CFRunLoopRef CFRunLoopGetMain(void);
// NULL when the run loop is not running.
DC_EXTERN_C CF_RETURNS_RETAINED CFRunLoopMode CFRunLoopCopyCurrentMode(CFRunLoopRef rl);
DC_EXTERN_C CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds,
                                                  Boolean returnAfterSourceHandled);

