// ScreenCaptureKit: shareable content, content filters, stream configuration
// and screenshots.
#import <CoreGraphics/CoreGraphics.h>
#import <CoreMedia/CoreMedia.h>
#import <CoreVideo/CoreVideo.h>
#import <Foundation/Foundation.h>
#import <ScreenCaptureKit/ScreenCaptureKit.h>

#include <string>

#include "platform/bridge_text.h"
#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace deskcap::platform {

using macos::ArrayOf;
using macos::Borrow;
using macos::HandOver;
using macos::Utf8;

namespace {

// Apple's convention: the result decides success, the error is only read when
// there is no result.
void DeliverFailure(void* context, CompletionCallback completion,
                    std::string (*failure_text)(const std::string&), NSError* error) {
  if (error == nil) {
    completion(context, nullptr, nullptr);
    return;
  }
  std::string text = failure_text(Utf8(error.localizedDescription));
  completion(context, nullptr, text.c_str());
}

template <class Item>
std::vector<Ref<Item>> CopyAll(NSArray* items) {
  std::vector<Ref<Item>> out;
  out.reserve(items.count);
  for (id item in items) out.emplace_back(HandOver<Item>(item));
  return out;
}

}  // namespace

void get_shareable_content(bool exclude_desktop_windows, bool on_screen_windows_only, void* context,
                           CompletionCallback completion) {
  // A missing Screen Recording permission arrives here as an error (the system
  // may show its prompt first); there is no separate check to make.
  [SCShareableContent
      getShareableContentExcludingDesktopWindows:exclude_desktop_windows
                             onScreenWindowsOnly:on_screen_windows_only
                               completionHandler:^(SCShareableContent* content, NSError* error) {
                                 if (content != nil) {
                                   completion(context, HandOver<Object>(content), nullptr);
                                   return;
                                 }
                                 DeliverFailure(context, completion,
                                                bridge_text::content_unavailable, error);
                               }];
}

void capture_image(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                   CompletionCallback completion) {
  [SCScreenshotManager
      captureImageWithFilter:Borrow<SCContentFilter*>(filter)
               configuration:Borrow<SCStreamConfiguration*>(configuration)
           completionHandler:^(CGImageRef image, NSError* error) {
             if (image != nullptr) {
               // The image is only lent for the duration of the handler.
               completion(context, HandOver<Object>((__bridge id)image), nullptr);
               return;
             }
             DeliverFailure(context, completion, bridge_text::screenshot_error, error);
           }];
}

std::vector<Ref<ScDisplay>> content_displays_copy(ShareableContent* content) {
  return CopyAll<ScDisplay>(Borrow<SCShareableContent*>(content).displays);
}

std::vector<Ref<ScWindow>> content_windows_copy(ShareableContent* content) {
  return CopyAll<ScWindow>(Borrow<SCShareableContent*>(content).windows);
}

uint32_t sc_display_id(ScDisplay* display) { return Borrow<SCDisplay*>(display).displayID; }

uint32_t sc_window_id(ScWindow* window) { return Borrow<SCWindow*>(window).windowID; }

Rect sc_window_frame(ScWindow* window) { return macos::RectFrom(Borrow<SCWindow*>(window).frame); }

ContentFilter* filter_with_desktop_independent_window(ScWindow* window) {
  // In a process that never spoke to the window server (plain node) this
  // initialiser aborts in CGS_REQUIRE_INIT; any display call connects first
  // (https://github.com/getopenscreen/openscreen/issues/487). Display
  // filters do not need it.
  static const CGDirectDisplayID connected = CGMainDisplayID();
  (void)connected;
  return HandOver<ContentFilter>(
      [[SCContentFilter alloc] initWithDesktopIndependentWindow:Borrow<SCWindow*>(window)]);
}

ContentFilter* filter_with_display_excluding_windows(ScDisplay* display,
                                                     const std::vector<ScWindow*>& windows) {
  return HandOver<ContentFilter>([[SCContentFilter alloc]
       initWithDisplay:Borrow<SCDisplay*>(display)
      excludingWindows:ArrayOf<SCWindow*>(windows)]);
}

float filter_point_pixel_scale(ContentFilter* filter) {
  if (@available(macOS 14.0, *)) {
    return Borrow<SCContentFilter*>(filter).pointPixelScale;
  }
  // Older frameworks lack the property and would raise on the selector.
  return 1.0f;
}

StreamConfiguration* configuration_create() {
  return HandOver<StreamConfiguration>([[SCStreamConfiguration alloc] init]);
}

void configuration_set_width(StreamConfiguration* configuration, size_t width) {
  Borrow<SCStreamConfiguration*>(configuration).width = width;
}

void configuration_set_height(StreamConfiguration* configuration, size_t height) {
  Borrow<SCStreamConfiguration*>(configuration).height = height;
}

void configuration_set_shows_cursor(StreamConfiguration* configuration, bool shows_cursor) {
  Borrow<SCStreamConfiguration*>(configuration).showsCursor = shows_cursor ? YES : NO;
}

void configuration_set_source_rect(StreamConfiguration* configuration, Rect rect) {
  Borrow<SCStreamConfiguration*>(configuration).sourceRect =
      CGRectMake(rect.x, rect.y, rect.width, rect.height);
}

void configuration_set_minimum_frame_interval(StreamConfiguration* configuration, int64_t value,
                                              int32_t timescale) {
  Borrow<SCStreamConfiguration*>(configuration).minimumFrameInterval =
      CMTimeMake(value, timescale);
}

void configuration_set_queue_depth(StreamConfiguration* configuration, int32_t depth) {
  Borrow<SCStreamConfiguration*>(configuration).queueDepth = depth;
}

void configuration_set_bgra_output(StreamConfiguration* configuration) {
  SCStreamConfiguration* settings = Borrow<SCStreamConfiguration*>(configuration);
  settings.pixelFormat = kCVPixelFormatType_32BGRA;
  // Unset, frames come in the display's own colour space (SCStream.h), and
  // image_create_bgra tags what is made of them as sRGB.
  settings.colorSpaceName = kCGColorSpaceSRGB;
}

}  // namespace deskcap::platform
