// AppKit's running applications and screens, and the window server's window
// list.
#import <AppKit/AppKit.h>
#import <CoreGraphics/CoreGraphics.h>
#import <Foundation/Foundation.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::RectFrom;
using macos::Utf8;

std::vector<RunningApplication> running_applications() {
  std::vector<RunningApplication> applications;
  for (NSRunningApplication* application in [NSWorkspace sharedWorkspace].runningApplications) {
    RunningApplication entry;
    // Helpers and command-line processes have no bundle identifier.
    NSString* bundle_identifier = application.bundleIdentifier;
    if (bundle_identifier != nil) entry.bundle_identifier = Utf8(bundle_identifier);
    entry.process_identifier = application.processIdentifier;
    applications.push_back(std::move(entry));
  }
  return applications;
}

void refresh_running_applications() {
  // Electron and other Cocoa hosts run the main loop themselves: it is running
  // while they call in, and turning it again from inside would re-enter it.
  if (![NSThread isMainThread]) return;
  CFRunLoopMode running = CFRunLoopCopyCurrentMode(CFRunLoopGetMain());
  if (running != nullptr) {
    CFRelease(running);
    return;
  }
  // Handles what is pending (the workspace's launch and exit updates) and
  // returns at once: a zero interval never waits.
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, false);
}

std::optional<std::vector<WindowInfo>> window_list_copy(uint32_t options, uint32_t relative_to) {
  // NULL when the window server cannot be reached (no GUI session).
  NSArray* list = CFBridgingRelease(CGWindowListCopyWindowInfo(options, relative_to));
  if (list == nil) return std::nullopt;
  std::vector<WindowInfo> windows;
  windows.reserve(list.count);
  for (NSDictionary* window in list) {
    WindowInfo info;
    id owner = window[(__bridge NSString*)kCGWindowOwnerPID];
    if ([owner isKindOfClass:[NSNumber class]]) info.owner_pid = [(NSNumber*)owner longLongValue];
    id layer = window[(__bridge NSString*)kCGWindowLayer];
    if ([layer isKindOfClass:[NSNumber class]]) info.layer = [(NSNumber*)layer intValue];
    id bounds = window[(__bridge NSString*)kCGWindowBounds];
    info.has_bounds = bounds != nil;
    id number = window[(__bridge NSString*)kCGWindowNumber];
    if ([number isKindOfClass:[NSNumber class]]) info.number = [(NSNumber*)number unsignedIntValue];
    // Owners and titles are plain strings; a title is absent when the system
    // withholds it (without Screen Recording permission) and for untitled windows.
    id owner_name = window[(__bridge NSString*)kCGWindowOwnerName];
    if ([owner_name isKindOfClass:[NSString class]]) info.owner_name = Utf8(owner_name);
    id name = window[(__bridge NSString*)kCGWindowName];
    if ([name isKindOfClass:[NSString class]]) info.name = Utf8(name);
    if ([bounds isKindOfClass:[NSDictionary class]]) {
      CGRect rect = CGRectZero;
      info.bounds_valid =
          CGRectMakeWithDictionaryRepresentation((__bridge CFDictionaryRef)bounds, &rect);
      if (info.bounds_valid) info.bounds = RectFrom(rect);
    }
    windows.push_back(info);
  }
  return windows;
}

std::vector<ScreenInfo> screens() {
  std::vector<ScreenInfo> infos;
  for (NSScreen* screen in [NSScreen screens]) {
    ScreenInfo info;
    info.frame = RectFrom(screen.frame);
    // On a notched built-in display the top inset is the camera housing's
    // band and the auxiliary areas are the menu-bar parts either side of it;
    // elsewhere the inset is 0 and both areas are NSZeroRect.
    info.safe_area_top = screen.safeAreaInsets.top;
    info.auxiliary_top_left = RectFrom(screen.auxiliaryTopLeftArea);
    info.auxiliary_top_right = RectFrom(screen.auxiliaryTopRightArea);
    infos.push_back(info);
  }
  return infos;
}

}  // namespace deskcap::platform
