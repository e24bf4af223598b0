// AVFoundation capture: devices, discovery, authorization, sessions, inputs
// and the video data output with its delegate protocol.
#pragma once

#include <CoreMedia/CoreMedia.h>
#include <Foundation/Foundation.h>
#include <dispatch/dispatch.h>

NS_ASSUME_NONNULL_BEGIN

typedef NSString* AVMediaType;
DC_EXTERN_C AVMediaType const AVMediaTypeVideo;
DC_EXTERN_C AVMediaType const AVMediaTypeAudio;
DC_EXTERN_C AVMediaType const AVMediaTypeMuxed;

typedef NSString* AVCaptureDeviceType;
DC_EXTERN_C AVCaptureDeviceType const AVCaptureDeviceTypeExternal DC_AVAILABLE_MACOS(14.0);

typedef NS_ENUM(NSInteger, AVCaptureDevicePosition) {
  AVCaptureDevicePositionUnspecified = 0,
  AVCaptureDevicePositionBack = 1,
  AVCaptureDevicePositionFront = 2,
};

typedef NS_ENUM(NSInteger, AVAuthorizationStatus) {
  AVAuthorizationStatusNotDetermined = 0,
  AVAuthorizationStatusRestricted = 1,
  AVAuthorizationStatusDenied = 2,
  AVAuthorizationStatusAuthorized = 3,
};

DC_EXTERN_C NSNotificationName const AVCaptureDeviceWasConnectedNotification;
DC_EXTERN_C NSNotificationName const AVCaptureDeviceWasDisconnectedNotification;

@interface AVCaptureDeviceFormat : NSObject
@property(nonatomic, readonly) CMFormatDescriptionRef formatDescription;
@end

@interface AVCaptureDevice : NSObject
+ (NSArray<AVCaptureDevice*>*)devices DC_DEPRECATED("Use AVCaptureDeviceDiscoverySession instead.");
+ (NSArray<AVCaptureDevice*>*)devicesWithMediaType:(AVMediaType)mediaType
    DC_DEPRECATED("Use AVCaptureDeviceDiscoverySession instead.");
@property(nonatomic, readonly) NSString* uniqueID;
@property(nonatomic, readonly) NSString* modelID;
@property(nonatomic, readonly) NSString* localizedName;
@property(nonatomic, readonly) AVCaptureDeviceType deviceType;
- (BOOL)hasMediaType:(AVMediaType)mediaType;
@property(nonatomic, retain) AVCaptureDeviceFormat* activeFormat;
+ (AVAuthorizationStatus)authorizationStatusForMediaType:(AVMediaType)mediaType;
+ (void)requestAccessForMediaType:(AVMediaType)mediaType
                completionHandler:(void (^)(BOOL granted))handler;
@end

@interface AVCaptureDeviceDiscoverySession : NSObject
+ (instancetype)discoverySessionWithDeviceTypes:(NSArray<AVCaptureDeviceType>*)deviceTypes
                                      mediaType:(nullable AVMediaType)mediaType
                                       position:(AVCaptureDevicePosition)position;
@property(nonatomic, readonly) NSArray<AVCaptureDevice*>* devices;
@end

@interface AVCaptureInput : NSObject
@end

@interface AVCaptureDeviceInput : AVCaptureInput
+ (nullable instancetype)deviceInputWithDevice:(AVCaptureDevice*)device
                                         error:(NSError* _Nullable* _Nullable)outError;
@end

@interface AVCaptureOutput : NSObject
@end

@interface AVCaptureConnection : NSObject
@end

@interface AVCaptureSession : NSObject
- (BOOL)canAddInput:(AVCaptureInput*)input;
- (void)addInput:(AVCaptureInput*)input;
- (BOOL)canAddOutput:(AVCaptureOutput*)output;
- (void)addOutput:(AVCaptureOutput*)output;
- (void)startRunning;
- (void)stopRunning;
@end

@protocol AVCaptureVideoDataOutputSampleBufferDelegate <NSObject>
@optional
- (void)captureOutput:(AVCaptureOutput*)output
    didOutputSampleBuffer:(CMSampleBufferRef)sampleBuffer
           fromConnection:(AVCaptureConnection*)connection;
@end

@interface AVCaptureVideoDataOutput : AVCaptureOutput
- (void)setSampleBufferDelegate:
            (nullable id<AVCaptureVideoDataOutputSampleBufferDelegate>)sampleBufferDelegate
                          queue:(nullable dispatch_queue_t)sampleBufferCallbackQueue;
@property(nonatomic) BOOL alwaysDiscardsLateVideoFrames;
@end

NS_ASSUME_NONNULL_END
