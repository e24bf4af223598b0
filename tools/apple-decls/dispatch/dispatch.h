// libdispatch as Objective-C code sees it (OS_OBJECT_USE_OBJC): dispatch
// objects are NSObject-based, retained and released by ARC, and cross a C
// boundary with __bridge casts like any other object. Also sys/qos.h.
#pragma once

#include <objc/NSObject.h>
#include <objc/objc.h>
#include <stdint.h>

#define DC_DISPATCH_DECL(name, super) \
  @protocol OS_                       \
  ##name<OS_##super> @end             \
  typedef NSObject<OS_##name>* name##_t

@protocol OS_dispatch_object <NSObject>
@end
typedef NSObject<OS_dispatch_object>* dispatch_object_t;

DC_DISPATCH_DECL(dispatch_queue, dispatch_object);
DC_DISPATCH_DECL(dispatch_queue_attr, dispatch_object);
DC_DISPATCH_DECL(dispatch_semaphore, dispatch_object);

// sys/qos.h
typedef enum : unsigned int {
  QOS_CLASS_USER_INTERACTIVE = 0x21,
  QOS_CLASS_USER_INITIATED = 0x19,
  QOS_CLASS_DEFAULT = 0x15,
  QOS_CLASS_UTILITY = 0x11,
  QOS_CLASS_BACKGROUND = 0x09,
  QOS_CLASS_UNSPECIFIED = 0x00,
} qos_class_t;
typedef qos_class_t dispatch_qos_class_t;

typedef uint64_t dispatch_time_t;
#define DISPATCH_TIME_NOW (0ull)
#define DISPATCH_TIME_FOREVER (~0ull)

#define DISPATCH_QUEUE_SERIAL NULL
#define DISPATCH_NOESCAPE __attribute__((__noescape__))

typedef void (^dispatch_block_t)(void);

NS_ASSUME_NONNULL_BEGIN

DC_EXTERN_C dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);

DC_EXTERN_C NS_RETURNS_RETAINED dispatch_semaphore_t dispatch_semaphore_create(intptr_t value);
DC_EXTERN_C intptr_t dispatch_semaphore_wait(dispatch_semaphore_t dsema, dispatch_time_t timeout);
DC_EXTERN_C intptr_t dispatch_semaphore_signal(dispatch_semaphore_t dsema);

DC_EXTERN_C dispatch_queue_attr_t dispatch_queue_attr_make_with_qos_class(
    dispatch_queue_attr_t _Nullable attr, dispatch_qos_class_t qos_class, int relative_priority);
DC_EXTERN_C NS_RETURNS_RETAINED dispatch_queue_t
dispatch_queue_create(const char* _Nullable label, dispatch_queue_attr_t _Nullable attr);
DC_EXTERN_C void dispatch_sync(dispatch_queue_t queue, DISPATCH_NOESCAPE dispatch_block_t block);

NS_ASSUME_NONNULL_END
