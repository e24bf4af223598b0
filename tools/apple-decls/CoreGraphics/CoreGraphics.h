// CoreGraphics: displays, their modes and reconfiguration, images, data
// providers, colour spaces and bitmap contexts, and the window server's window
// list.
#pragma once

#include <CoreFoundation/CoreFoundation.h>
#include <CoreGraphics/CGGeometry.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

NS_ASSUME_NONNULL_BEGIN

typedef CF_ENUM(int32_t, CGError) {
  kCGErrorSuccess = 0,
  kCGErrorFailure = 1000,
  kCGErrorIllegalArgument = 1001,
};

// ---- Displays --------------------------------------------------------------------
typedef uint32_t CGDirectDisplayID;
typedef struct CF_BRIDGED_TYPE(id) CGDisplayMode* CGDisplayModeRef;

DC_EXTERN_C CGError CGGetActiveDisplayList(uint32_t maxDisplays,
                                           CGDirectDisplayID* _Nullable activeDisplays,
                                           uint32_t* _Nullable displayCount);
DC_EXTERN_C CGDirectDisplayID CGMainDisplayID(void);
DC_EXTERN_C CGRect CGDisplayBounds(CGDirectDisplayID display);
DC_EXTERN_C CF_RETURNS_RETAINED
    CGDisplayModeRef _Nullable CGDisplayCopyDisplayMode(CGDirectDisplayID display);
DC_EXTERN_C size_t CGDisplayModeGetWidth(CGDisplayModeRef _Nullable mode);
DC_EXTERN_C size_t CGDisplayModeGetPixelWidth(CGDisplayModeRef _Nullable mode);

// ---- Display reconfiguration (CGDisplayConfiguration.h) --------------------------
typedef CF_OPTIONS(uint32_t, CGDisplayChangeSummaryFlags) {
  kCGDisplayBeginConfigurationFlag = (1 << 0),
};
typedef void (*CGDisplayReconfigurationCallBack)(CGDirectDisplayID display,
                                                 CGDisplayChangeSummaryFlags flags,
                                                 void* _Nullable userInfo);
DC_EXTERN_C CGError CGDisplayRegisterReconfigurationCallback(
    CGDisplayReconfigurationCallBack _Nullable callback, void* _Nullable userInfo);

// ---- Images, colour spaces, bitmap contexts --------------------------------------
typedef struct CF_BRIDGED_TYPE(id) CGImage* CGImageRef;
typedef struct CF_BRIDGED_TYPE(id) CGColorSpace* CGColorSpaceRef;
typedef struct CF_BRIDGED_TYPE(id) CGContext* CGContextRef;
typedef struct CF_BRIDGED_TYPE(id) CGDataProvider* CGDataProviderRef;

typedef CF_ENUM(uint32_t, CGImageAlphaInfo) {
  kCGImageAlphaNone = 0,
  kCGImageAlphaPremultipliedLast = 1,
  kCGImageAlphaPremultipliedFirst = 2,
  kCGImageAlphaLast = 3,
  kCGImageAlphaFirst = 4,
  kCGImageAlphaNoneSkipLast = 5,
  kCGImageAlphaNoneSkipFirst = 6,
  kCGImageAlphaOnly = 7,
};

// CF_OPTIONS; the SDK spells the byte order as kCGImageByteOrder32Little.
typedef CF_OPTIONS(uint32_t, CGBitmapInfo) {
  kCGBitmapByteOrder32Little = (2 << 12),
};

typedef CF_ENUM(int32_t, CGColorRenderingIntent) {
  kCGRenderingIntentDefault,
  kCGRenderingIntentAbsoluteColorimetric,
  kCGRenderingIntentRelativeColorimetric,
  kCGRenderingIntentPerceptual,
  kCGRenderingIntentSaturation,
};

typedef void (*CGDataProviderReleaseDataCallback)(void* _Nullable info, const void* data,
                                                  size_t size);
DC_EXTERN_C CF_RETURNS_RETAINED CGDataProviderRef _Nullable CGDataProviderCreateWithData(
    void* _Nullable info, const void* _Nullable data, size_t size,
    CGDataProviderReleaseDataCallback _Nullable releaseData);

DC_EXTERN_C CF_RETURNS_RETAINED CGImageRef _Nullable CGImageCreate(
    size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel, size_t bytesPerRow,
    CGColorSpaceRef _Nullable space, CGBitmapInfo bitmapInfo, CGDataProviderRef _Nullable provider,
    const CGFloat* _Nullable decode, bool shouldInterpolate, CGColorRenderingIntent intent);
DC_EXTERN_C size_t CGImageGetWidth(CGImageRef _Nullable image);
DC_EXTERN_C size_t CGImageGetHeight(CGImageRef _Nullable image);

DC_EXTERN_C const CFStringRef kCGColorSpaceSRGB;
DC_EXTERN_C CF_RETURNS_RETAINED CGColorSpaceRef _Nullable CGColorSpaceCreateDeviceRGB(void);
DC_EXTERN_C CF_RETURNS_RETAINED CGColorSpaceRef _Nullable CGColorSpaceCreateWithName(
    CFStringRef _Nullable name);
DC_EXTERN_C void CGColorSpaceRelease(CGColorSpaceRef _Nullable space);

DC_EXTERN_C CF_RETURNS_RETAINED CGContextRef _Nullable CGBitmapContextCreate(
    void* _Nullable data, size_t width, size_t height, size_t bitsPerComponent, size_t bytesPerRow,
    CGColorSpaceRef _Nullable space, uint32_t bitmapInfo);
DC_EXTERN_C void* _Nullable CGBitmapContextGetData(CGContextRef _Nullable context);
DC_EXTERN_C size_t CGBitmapContextGetBytesPerRow(CGContextRef _Nullable context);
typedef CF_ENUM(int32_t, CGBlendMode) {
  kCGBlendModeNormal = 0,
  kCGBlendModeClear = 16,
  kCGBlendModeCopy = 17,
};
DC_EXTERN_C void CGContextSetBlendMode(CGContextRef _Nullable c, CGBlendMode mode);
DC_EXTERN_C void CGContextDrawImage(CGContextRef _Nullable c, CGRect rect,
                                    CGImageRef _Nullable image);
DC_EXTERN_C void CGContextRelease(CGContextRef _Nullable c);

// ---- Window list -----------------------------------------------------------------
typedef uint32_t CGWindowID;
#define kCGNullWindowID ((CGWindowID)0)

typedef CF_OPTIONS(uint32_t, CGWindowListOption) {
  kCGWindowListOptionAll = 0,
  kCGWindowListOptionOnScreenOnly = (1 << 0),
  kCGWindowListOptionOnScreenAboveWindow = (1 << 1),
  kCGWindowListOptionOnScreenBelowWindow = (1 << 2),
  kCGWindowListOptionIncludingWindow = (1 << 3),
  kCGWindowListExcludeDesktopElements = (1 << 4),
};

DC_EXTERN_C CF_RETURNS_RETAINED CFArrayRef _Nullable CGWindowListCopyWindowInfo(
    CGWindowListOption option, CGWindowID relativeToWindow);

DC_EXTERN_C const CFStringRef kCGWindowNumber;     // CFNumber, CGWindowID
DC_EXTERN_C const CFStringRef kCGWindowOwnerPID;   // CFNumber, pid_t
DC_EXTERN_C const CFStringRef kCGWindowOwnerName;  // CFString, optional
DC_EXTERN_C const CFStringRef kCGWindowName;       // CFString, optional
DC_EXTERN_C const CFStringRef kCGWindowLayer;      // CFNumber, int
DC_EXTERN_C const CFStringRef kCGWindowBounds;     // CFDictionary of a CGRect

// ---- Screen Recording permission (CGWindow.h) ------------------------------------
DC_EXTERN_C bool CGPreflightScreenCaptureAccess(void) DC_AVAILABLE_MACOS(10.15);
DC_EXTERN_C bool CGRequestScreenCaptureAccess(void) DC_AVAILABLE_MACOS(10.15);

// Screen Recording permission (macOS 10.15+).
DC_EXTERN_C bool CGPreflightScreenCaptureAccess(void);
DC_EXTERN_C bool CGRequestScreenCaptureAccess(void);

NS_ASSUME_NONNULL_END
