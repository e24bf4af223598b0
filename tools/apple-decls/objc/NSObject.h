// objc/NSObject.h: the root class and protocol, with what the backend sends
// to every object (alloc/init, class tests). Under ARC the memory-management
// methods are never called by name, so they are declared only for the runtime.
#pragma once

#include <objc/objc.h>

@class NSString;

#if __has_feature(objc_arc)
#define DC_ARC_UNAVAILABLE __attribute__((unavailable("not available in automatic reference counting mode")))
#else
#define DC_ARC_UNAVAILABLE
#endif

@protocol NSObject
- (BOOL)isEqual:(id)object;
- (BOOL)isKindOfClass:(Class)aClass;
- (instancetype)retain DC_ARC_UNAVAILABLE;
- (oneway void)release DC_ARC_UNAVAILABLE;
- (instancetype)autorelease DC_ARC_UNAVAILABLE;
@property(readonly, copy) NSString* description;
@end

__attribute__((objc_root_class))
@interface NSObject <NSObject> {
  Class isa;
}
+ (instancetype)alloc;
+ (instancetype)new;
+ (Class)class;
- (instancetype)init;
- (void)dealloc;
@end
