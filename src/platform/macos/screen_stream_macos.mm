// ScreenCaptureKit streams: KRScreenStream holds an SCStream, the
// KRStreamOutput that is both its screen output and its delegate, and the
// serial queue the samples arrive on; the sample accessors read the frames.
//
// Why it is built this way:
// - SCStream references its output and delegate weakly: an output nothing
//   else holds is freed and frames stop, silently
//   (https://github.com/madsmtm/objc2/issues/768,
//   https://github.com/marzent/XIV-on-Mac/pull/151). The handle owns the
//   stream, the output and the queue.
// - The sample queue is a private serial one: node's main thread never drains
//   the main dispatch queue (a dispatch_sync to it from an addon deadlocks,
//   https://github.com/kwhat/libuiohook/issues/188).
// - SCStream.h documents no thread for its completions and no promise that
//   samples stop when a stop completes; Chromium
//   (content/browser/media/capture/screen_capture_kit_device_mac.mm) and WebRTC
//   (modules/desktop_capture/mac/screen_capturer_sck.mm) guard their
//   callbacks themselves. Here a flag that detach clears under a lock, then
//   removeStreamOutput and a drain of the sample queue.
// - Stopping a stream the system has already stopped answers -3808
//   (SCStreamErrorAttemptToStopStreamState, SCError.h; after sleep:
//   https://github.com/waydabber/BetterDisplay/issues/5643). OBS ignores it
//   on stop too (plugins/mac-capture/mac-sck-video-capture.m).
// - Idle samples may come without an image buffer
//   (https://github.com/screenpipe/screenpipe/pull/6714).
#import <CoreFoundation/CoreFoundation.h>
#import <CoreGraphics/CoreGraphics.h>
#import <CoreMedia/CoreMedia.h>
#import <CoreVideo/CoreVideo.h>
#import <Foundation/Foundation.h>
#import <ScreenCaptureKit/ScreenCaptureKit.h>
#import <dispatch/dispatch.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>

#include "platform/bridge_text.h"
#include "platform/macos/base_macos.h"
#include "platform/platform.h"

namespace dp = deskcap::platform;

static_assert(dp::frame_status::kComplete == SCFrameStatusComplete);
static_assert(dp::frame_status::kIdle == SCFrameStatusIdle);
static_assert(dp::frame_status::kStarted == SCFrameStatusStarted);

// The stream's screen output and delegate: calls the seam's handlers until it
// is closed.
@interface KRStreamOutput : NSObject <SCStreamOutput, SCStreamDelegate>
- (instancetype)initWithContext:(void*)context
                         sample:(dp::SampleHandler)sample
                        stopped:(dp::StreamStopHandler)stopped;
// Returns once a stop handler under way has; neither handler starts after it
// (a sample handler already running may still be, until the queue drains).
- (void)close;
@end

@implementation KRStreamOutput {
  void* _context;
  dp::SampleHandler _sample;
  dp::StreamStopHandler _stopped;
  std::atomic<bool> _open;
  // Held while the stop handler runs, so that close waits for it; recursive
  // for a stop handler that detaches the stream itself.
  std::recursive_mutex _stopLock;
}

- (instancetype)initWithContext:(void*)context
                         sample:(dp::SampleHandler)sample
                        stopped:(dp::StreamStopHandler)stopped {
  self = [super init];
  if (self) {
    _context = context;
    _sample = sample;
    _stopped = stopped;
    _open.store(true);
  }
  return self;
}

- (void)close {
  std::lock_guard<std::recursive_mutex> guard(_stopLock);
  _open.store(false, std::memory_order_release);
}

- (void)stream:(SCStream*)stream
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
                   ofType:(SCStreamOutputType)type {
  if (type != SCStreamOutputTypeScreen) return;
  // Dispatch drains a queue thread's pool only now and then; one per sample
  // keeps what a handler autoreleases from piling up at 60 frames a second.
  @autoreleasepool {
    if (!_open.load(std::memory_order_acquire)) return;
    _sample(_context, reinterpret_cast<dp::SampleBuffer*>(sampleBuffer));
  }
}

- (void)stream:(SCStream*)stream didStopWithError:(NSError*)error {
  @autoreleasepool {
    std::lock_guard<std::recursive_mutex> guard(_stopLock);
    if (!_open.load(std::memory_order_acquire)) return;
    std::string text = dp::bridge_text::stream_error(dp::macos::Utf8(error.localizedDescription));
    _stopped(_context, error.code, text.c_str());
  }
}

@end

// What a Stream handle is. Neither the output nor the stream refers back to
// it, so no cycle forms whether SCStream holds its output weakly or not.
@interface KRScreenStream : NSObject
- (instancetype)initWithFilter:(SCContentFilter*)filter
                 configuration:(SCStreamConfiguration*)configuration
                        output:(KRStreamOutput*)output;
@property(readonly, nonatomic) SCStream* stream;
// Adds the output to the stream, on a serial queue of its own.
- (BOOL)attach:(NSError**)error;
// From its return on, neither handler is called. Not on the sample queue.
- (void)detach;
@end

@implementation KRScreenStream {
  SCStream* _stream;
  KRStreamOutput* _output;
  dispatch_queue_t _queue;
}

- (instancetype)initWithFilter:(SCContentFilter*)filter
                 configuration:(SCStreamConfiguration*)configuration
                        output:(KRStreamOutput*)output {
  self = [super init];
  if (self) {
    _output = output;
    _queue = dispatch_queue_create("deskcap.stream", DISPATCH_QUEUE_SERIAL);
    _stream = [[SCStream alloc] initWithFilter:filter configuration:configuration delegate:output];
  }
  return self;
}

- (SCStream*)stream {
  return _stream;
}

- (BOOL)attach:(NSError**)error {
  return [_stream addStreamOutput:_output
                             type:SCStreamOutputTypeScreen
               sampleHandlerQueue:_queue
                            error:error];
}

- (void)detach {
  [_output close];
  // Fails once the output is gone (a second detach); closed, it calls nothing anyway.
  [_stream removeStreamOutput:_output type:SCStreamOutputTypeScreen error:nil];
  // A sample handler that read the flag before it was cleared has returned
  // once this empty block, queued behind it, has run.
  dispatch_sync(_queue, ^{});
}

@end

namespace deskcap::platform {

using macos::Borrow;
using macos::HandOver;
using macos::Utf8;

namespace {

CMSampleBufferRef SampleOf(SampleBuffer* sample) {
  return reinterpret_cast<CMSampleBufferRef>(sample);
}

void Complete(void* context, CompletionCallback completion, NSError* error) {
  if (error == nil) {
    completion(context, nullptr, nullptr);
    return;
  }
  std::string text = bridge_text::stream_error(Utf8(error.localizedDescription));
  completion(context, nullptr, text.c_str());
}

bool IsAlreadyStopped(NSError* error) {
  return error.code == SCStreamErrorAttemptToStopStreamState &&
         [error.domain isEqualToString:SCStreamErrorDomain];
}

// The first sample's frame information (one dictionary per sample), or nil.
NSDictionary* FrameInfo(SampleBuffer* sample) {
  CFArrayRef attachments = CMSampleBufferGetSampleAttachmentsArray(SampleOf(sample), false);
  if (attachments == nullptr) return nil;
  NSArray* all = (__bridge NSArray*)attachments;
  if (all.count == 0) return nil;
  id first = all[0];
  return [first isKindOfClass:[NSDictionary class]] ? first : nil;
}

NSNumber* NumberIn(NSDictionary* info, SCStreamFrameInfo key) {
  id value = info[key];
  return [value isKindOfClass:[NSNumber class]] ? value : nil;
}

}  // namespace

Stream* stream_create(ContentFilter* filter, StreamConfiguration* configuration, void* context,
                      SampleHandler sample, StreamStopHandler stopped, std::string* error_text) {
  KRStreamOutput* output = [[KRStreamOutput alloc] initWithContext:context
                                                             sample:sample
                                                            stopped:stopped];
  KRScreenStream* holder =
      [[KRScreenStream alloc] initWithFilter:Borrow<SCContentFilter*>(filter)
                               configuration:Borrow<SCStreamConfiguration*>(configuration)
                                      output:output];
  NSError* error = nil;
  if (![holder attach:&error]) {
    if (error_text != nullptr)
      *error_text = bridge_text::stream_error(Utf8(error.localizedDescription));
    return nullptr;
  }
  return HandOver<Stream>(holder);
}

void stream_start(Stream* stream, void* context, CompletionCallback completion) {
  [Borrow<KRScreenStream*>(stream).stream startCaptureWithCompletionHandler:^(NSError* error) {
    Complete(context, completion, error);
  }];
}

void stream_stop(Stream* stream, void* context, CompletionCallback completion) {
  [Borrow<KRScreenStream*>(stream).stream stopCaptureWithCompletionHandler:^(NSError* error) {
    Complete(context, completion, error != nil && IsAlreadyStopped(error) ? nil : error);
  }];
}

void stream_detach(Stream* stream) { [Borrow<KRScreenStream*>(stream) detach]; }

std::optional<int64_t> sample_frame_status(SampleBuffer* sample) {
  NSNumber* status = NumberIn(FrameInfo(sample), SCStreamFrameInfoStatus);
  if (status == nil) return std::nullopt;
  return status.longLongValue;
}

std::optional<Rect> sample_content_rect(SampleBuffer* sample) {
  id value = FrameInfo(sample)[SCStreamFrameInfoContentRect];
  CGRect rect = CGRectZero;
  if (![value isKindOfClass:[NSDictionary class]] ||
      !CGRectMakeWithDictionaryRepresentation((__bridge CFDictionaryRef)value, &rect)) {
    return std::nullopt;
  }
  return macos::RectFrom(rect);
}

std::optional<double> sample_scale_factor(SampleBuffer* sample) {
  NSNumber* scale = NumberIn(FrameInfo(sample), SCStreamFrameInfoScaleFactor);
  if (scale == nil) return std::nullopt;
  return scale.doubleValue;
}

bool sample_lock_pixels(SampleBuffer* sample, SamplePixels* pixels) {
  CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(SampleOf(sample));
  if (buffer == nullptr || pixels == nullptr) return false;
  // Any other format (a planar one's base address is a plane table) is not
  // the rows the caller reads.
  if (CVPixelBufferGetPixelFormatType(buffer) != kCVPixelFormatType_32BGRA) return false;
  if (CVPixelBufferLockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly) != kCVReturnSuccess)
    return false;
  const void* base = CVPixelBufferGetBaseAddress(buffer);
  if (base == nullptr) {
    CVPixelBufferUnlockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly);
    return false;
  }
  pixels->base = static_cast<const uint8_t*>(base);
  pixels->width = CVPixelBufferGetWidth(buffer);
  pixels->height = CVPixelBufferGetHeight(buffer);
  pixels->bytes_per_row = CVPixelBufferGetBytesPerRow(buffer);
  return true;
}

// CVPixelBuffer.h: the unlock must carry the flags of the lock.
void sample_unlock_pixels(SampleBuffer* sample) {
  CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(SampleOf(sample));
  if (buffer != nullptr) CVPixelBufferUnlockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly);
}

}  // namespace deskcap::platform
