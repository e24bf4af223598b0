// How framework objects cross the seam in the macOS backend (built with ARC).
//
// An opaque handle of platform.h is the object pointer itself. Handing one out
// moves a +1 reference out of ARC's care (__bridge_retained); borrowing one
// back is a plain __bridge cast that leaves the count alone. platform::release
// gives the reference back to ARC (__bridge_transfer), which releases it with
// the Objective-C runtime, as it does any object, dispatch object or
// CoreFoundation type bridged to id.
#pragma once

#import <CoreFoundation/CoreFoundation.h>
#import <Foundation/Foundation.h>

#include <string>
#include <vector>

#include "platform/platform.h"

namespace deskcap::platform::macos {

// A +1 handle for `object` (null for nil).
template <class Handle>
Handle* HandOver(id object) {
  return static_cast<Handle*>((__bridge_retained void*)object);
}

// The object behind a handle, still owned by the handle's holder.
template <class ObjcPointer, class Handle>
ObjcPointer Borrow(Handle* handle) {
  return (__bridge ObjcPointer) static_cast<void*>(handle);
}

// An NSArray of the objects behind `handles`, in order. Null handles are left
// out: a framework array cannot hold nil.
template <class ObjcPointer, class Handle>
NSArray* ArrayOf(const std::vector<Handle*>& handles) {
  NSMutableArray* array = [[NSMutableArray alloc] initWithCapacity:handles.size()];
  for (Handle* handle : handles) {
    if (handle != nullptr) [array addObject:Borrow<ObjcPointer>(handle)];
  }
  return array;
}

// UTF-8 copy of a string; "" for nil (and for the rare string UTF8String
// cannot convert).
inline std::string Utf8(NSString* string) {
  const char* bytes = string.UTF8String;
  return bytes != nullptr ? std::string(bytes) : std::string();
}

inline Rect RectFrom(CGRect rect) {
  return Rect{rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
}

// Owns one reference of a CoreFoundation-style object (Create/Copy rule).
template <class CFRef>
class ScopedCF {
 public:
  explicit ScopedCF(CFRef ref = nullptr) : ref_(ref) {}
  ~ScopedCF() {
    if (ref_ != nullptr) CFRelease(ref_);
  }
  ScopedCF(const ScopedCF&) = delete;
  ScopedCF& operator=(const ScopedCF&) = delete;
  CFRef get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }

 private:
  CFRef ref_;
};

}  // namespace deskcap::platform::macos
