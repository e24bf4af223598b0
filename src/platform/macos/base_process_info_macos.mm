// NSProcessInfo facts for the diagnostic log.
#import <Foundation/Foundation.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

// Human-readable, e.g. "Version 14.5 (Build 23F79)"; for logs only, never parsed.
std::string os_version_string() {
  return macos::Utf8([NSProcessInfo processInfo].operatingSystemVersionString);
}

}  // namespace deskcap::platform
