// KRFrameGrabber and its seam functions.
#import "platform/macos/phone_frame_grabber_macos.h"

#import <AVFoundation/AVFoundation.h>
#import <CoreMedia/CoreMedia.h>
#import <CoreVideo/CoreVideo.h>
#import <dispatch/dispatch.h>

#include "platform/macos/base_macos.h"
#include "platform/platform.h"

@implementation KRFrameGrabber {
  dispatch_semaphore_t _ready;
  CVPixelBufferRef _frame;
}

- (instancetype)init {
  self = [super init];
  if (self) {
    _ready = dispatch_semaphore_create(0);
    _frame = NULL;
  }
  return self;
}

// Runs on the output's serial queue, so the first-frame test needs no lock;
// the reader only looks at `frame` after `ready` was signalled.
- (void)captureOutput:(AVCaptureOutput*)output
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
           fromConnection:(AVCaptureConnection*)connection {
  if (self.frame != NULL) return;
  CVImageBufferRef image = CMSampleBufferGetImageBuffer(sampleBuffer);
  if (image == NULL) return;
  // The sample buffer is recycled by the output once this returns; the pixel
  // buffer survives only with a retain of its own.
  self.frame = CVPixelBufferRetain(image);
  dispatch_semaphore_signal(self.ready);
}

// ARC calls the superclass's dealloc after this body.
- (void)dealloc {
  if (_frame != NULL) CVPixelBufferRelease(_frame);
}

- (dispatch_semaphore_t)ready {
  return _ready;
}

- (void)setReady:(dispatch_semaphore_t)ready {
  _ready = ready;
}

- (CVPixelBufferRef)frame {
  return _frame;
}

// A plain store: the retain taken in the callback is the grabber's one.
- (void)setFrame:(CVPixelBufferRef)frame {
  _frame = frame;
}

@end

namespace deskcap::platform {

using macos::Borrow;
using macos::HandOver;

FrameGrabber* frame_grabber_create() {
  return HandOver<FrameGrabber>([[KRFrameGrabber alloc] init]);
}

Semaphore* frame_grabber_ready(FrameGrabber* grabber) {
  return (__bridge Semaphore*)Borrow<KRFrameGrabber*>(grabber).ready;
}

PixelBuffer* frame_grabber_frame(FrameGrabber* grabber) {
  return reinterpret_cast<PixelBuffer*>(Borrow<KRFrameGrabber*>(grabber).frame);
}

void video_output_set_sample_buffer_delegate(VideoOutput* output, FrameGrabber* grabber,
                                             DispatchQueue* queue) {
  [Borrow<AVCaptureVideoDataOutput*>(output)
      setSampleBufferDelegate:Borrow<KRFrameGrabber*>(grabber)
                        queue:Borrow<dispatch_queue_t>(queue)];
}

}  // namespace deskcap::platform
