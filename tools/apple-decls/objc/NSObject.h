// objc/NSObject.h: the root class and protocol, with what the backend sends to
// every object (alloc/init, class tests). Under ARC, retain/release are never
// sent by name, so they are not declared.
#pragma once

#include <objc/objc.h>

@protocol NSObject
- (BOOL)isKindOfClass:(Class)aClass;
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
