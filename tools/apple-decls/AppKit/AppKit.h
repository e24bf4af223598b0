// AppKit: running applications and screens.
#pragma once

#include <Foundation/Foundation.h>
#include <sys/types.h>

NS_ASSUME_NONNULL_BEGIN

@interface NSRunningApplication : NSObject
@property(nullable, readonly, copy) NSString* bundleIdentifier;
@property(readonly) pid_t processIdentifier;
@end

@interface NSWorkspace : NSObject
@property(class, readonly, strong) NSWorkspace* sharedWorkspace;
@property(readonly, copy) NSArray<NSRunningApplication*>* runningApplications;
@end

@interface NSScreen : NSObject
@property(class, readonly, copy) NSArray<NSScreen*>* screens;
@property(readonly) NSRect frame;
@property(readonly) NSEdgeInsets safeAreaInsets DC_AVAILABLE_MACOS(12.0);
// NSZeroRect when the top of the screen is not obscured.
@property(readonly) NSRect auxiliaryTopLeftArea DC_AVAILABLE_MACOS(12.0);
@property(readonly) NSRect auxiliaryTopRightArea DC_AVAILABLE_MACOS(12.0);
@end

NS_ASSUME_NONNULL_END
