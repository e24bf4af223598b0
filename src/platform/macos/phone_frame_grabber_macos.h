// KRFrameGrabber: the sample-buffer delegate of a phone capture. It keeps the
// first frame and signals `ready` once it holds it.
#pragma once

#import <AVFoundation/AVFoundation.h>
#import <CoreVideo/CoreVideo.h>
#import <Foundation/Foundation.h>
#import <dispatch/dispatch.h>

@interface KRFrameGrabber : NSObject <AVCaptureVideoDataOutputSampleBufferDelegate>
@property(strong, nonatomic) dispatch_semaphore_t ready;
// The first frame, retained by the grabber; NULL until it arrives.
@property(assign, nonatomic) CVPixelBufferRef frame;
@end
