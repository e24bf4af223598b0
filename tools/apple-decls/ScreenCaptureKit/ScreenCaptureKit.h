// ScreenCaptureKit (macOS 12.3+; the screenshot manager and pointPixelScale
// since 14.0): shareable content, content filters, stream configuration,
// streams with their output and delegate protocols, the frame information
// attached to their samples, the stream error domain, and single screenshots.
// Only filters, configurations and streams are made by the caller; the other
// classes come from the framework and cannot be initialised.
#pragma once

#include <CoreGraphics/CoreGraphics.h>
#include <CoreMedia/CoreMedia.h>
#include <Foundation/Foundation.h>
#include <dispatch/dispatch.h>

// SCError.h
DC_EXTERN_C NSString* const _Nonnull SCStreamErrorDomain;

NS_ASSUME_NONNULL_BEGIN

typedef NS_ERROR_ENUM(SCStreamErrorDomain, SCStreamErrorCode) {
  SCStreamErrorAttemptToStopStreamState = -3808,
};

@interface SCRunningApplication : NSObject
- (instancetype)init NS_UNAVAILABLE;
+ (instancetype)new NS_UNAVAILABLE;
@end

@interface SCWindow : NSObject
- (instancetype)init NS_UNAVAILABLE;
+ (instancetype)new NS_UNAVAILABLE;
@property(readonly) CGWindowID windowID;
@property(readonly) CGRect frame;
@end

@interface SCDisplay : NSObject
- (instancetype)init NS_UNAVAILABLE;
+ (instancetype)new NS_UNAVAILABLE;
@property(readonly) CGDirectDisplayID displayID;
@end

@interface SCShareableContent : NSObject
- (instancetype)init NS_UNAVAILABLE;
+ (instancetype)new NS_UNAVAILABLE;
+ (void)getShareableContentExcludingDesktopWindows:(BOOL)excludeDesktopWindows
                               onScreenWindowsOnly:(BOOL)onScreenWindowsOnly
                                 completionHandler:
                                     (void (^)(SCShareableContent* _Nullable shareableContent,
                                               NSError* _Nullable error))completionHandler;
@property(readonly) NSArray<SCWindow*>* windows;
@property(readonly) NSArray<SCDisplay*>* displays;
@property(readonly) NSArray<SCRunningApplication*>* applications;
@end

@interface SCContentFilter : NSObject
- (instancetype)initWithDesktopIndependentWindow:(SCWindow*)window;
- (instancetype)initWithDisplay:(SCDisplay*)display excludingWindows:(NSArray<SCWindow*>*)excluded;
- (instancetype)initWithDisplay:(SCDisplay*)display
               includingWindows:(NSArray<SCWindow*>*)includedWindows;
- (instancetype)initWithDisplay:(SCDisplay*)display
          includingApplications:(NSArray<SCRunningApplication*>*)applications
               exceptingWindows:(NSArray<SCWindow*>*)exceptingWindows;
- (instancetype)initWithDisplay:(SCDisplay*)display
          excludingApplications:(NSArray<SCRunningApplication*>*)applications
               exceptingWindows:(NSArray<SCWindow*>*)exceptingWindows;
@property(readonly) float pointPixelScale DC_AVAILABLE_MACOS(14.0);
@end

@interface SCStreamConfiguration : NSObject
@property(nonatomic, assign) size_t width;
@property(nonatomic, assign) size_t height;
@property(nonatomic, assign) CMTime minimumFrameInterval;
@property(nonatomic, assign) OSType pixelFormat;
@property(nonatomic, assign) BOOL showsCursor;
@property(nonatomic, assign) CGRect sourceRect;
@property(nonatomic, assign) NSInteger queueDepth;
@property(nonatomic, assign) CFStringRef colorSpaceName;
@end

// SCStream.h
typedef NS_ENUM(NSInteger, SCStreamOutputType) {
  SCStreamOutputTypeScreen,
};

typedef NS_ENUM(NSInteger, SCFrameStatus) {
  SCFrameStatusComplete,
  SCFrameStatusIdle,
  SCFrameStatusBlank,
  SCFrameStatusSuspended,
  SCFrameStatusStarted,
  SCFrameStatusStopped,
};

// Keys of the dictionary attached to each screen sample.
typedef NSString* SCStreamFrameInfo;
DC_EXTERN_C SCStreamFrameInfo const SCStreamFrameInfoStatus;       // NSNumber, SCFrameStatus
DC_EXTERN_C SCStreamFrameInfo const SCStreamFrameInfoScaleFactor;  // NSNumber, pixels per point
DC_EXTERN_C SCStreamFrameInfo const SCStreamFrameInfoContentRect;  // CGRect dictionary, points

@protocol SCStreamDelegate;
@protocol SCStreamOutput;

@interface SCStream : NSObject
- (instancetype)init NS_UNAVAILABLE;
+ (instancetype)new NS_UNAVAILABLE;
- (instancetype)initWithFilter:(SCContentFilter*)contentFilter
                 configuration:(SCStreamConfiguration*)streamConfig
                      delegate:(id<SCStreamDelegate> _Nullable)delegate;
- (BOOL)addStreamOutput:(id<SCStreamOutput>)output
                   type:(SCStreamOutputType)type
     sampleHandlerQueue:(dispatch_queue_t _Nullable)sampleHandlerQueue
                  error:(NSError**)error;
- (BOOL)removeStreamOutput:(id<SCStreamOutput>)output
                      type:(SCStreamOutputType)type
                     error:(NSError**)error;
- (void)startCaptureWithCompletionHandler:
    (nullable void (^)(NSError* _Nullable error))completionHandler;
- (void)stopCaptureWithCompletionHandler:
    (nullable void (^)(NSError* _Nullable error))completionHandler;
@end

@protocol SCStreamOutput <NSObject>
@optional
- (void)stream:(SCStream*)stream
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
                   ofType:(SCStreamOutputType)type;
@end

@protocol SCStreamDelegate <NSObject>
@optional
- (void)stream:(SCStream*)stream didStopWithError:(NSError*)error;
@end

DC_AVAILABLE_MACOS(14.0)
@interface SCScreenshotManager : NSObject
- (instancetype)init NS_UNAVAILABLE;
+ (instancetype)new NS_UNAVAILABLE;
+ (void)captureImageWithFilter:(SCContentFilter*)contentFilter
                 configuration:(SCStreamConfiguration*)config
             completionHandler:(nullable void (^)(CGImageRef _Nullable sampleBuffer,
                                                  NSError* _Nullable error))completionHandler;
@end

NS_ASSUME_NONNULL_END
