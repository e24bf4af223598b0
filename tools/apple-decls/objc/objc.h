// objc/objc.h, objc/NSObjCRuntime.h: basic Objective-C types and the macros
// the other declarations use.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef signed char BOOL;  // x86-64 macOS; arm64 uses bool
#define YES __objc_yes
#define NO __objc_no

typedef struct objc_selector* SEL;
typedef struct objc_class* Class;

#ifndef nil
#define nil nullptr
#endif

typedef long NSInteger;
typedef unsigned long NSUInteger;

#define NS_ENUM(_type, _name) \
  enum _name : _type _name;   \
  enum _name : _type
#define NS_ERROR_ENUM(_domain, _name) \
  enum _name : NSInteger _name;       \
  enum __attribute__((ns_error_domain(_domain))) _name : NSInteger
#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#define NS_UNAVAILABLE __attribute__((unavailable))
#define NS_RETURNS_RETAINED __attribute__((ns_returns_retained))
#define NS_INLINE static inline __attribute__((always_inline))
#define NS_SWIFT_SENDABLE
#define NS_RETURNS_INNER_POINTER __attribute__((objc_returns_inner_pointer))

#define DC_DEPRECATED(message) __attribute__((deprecated(message)))
#define DC_AVAILABLE_MACOS(version) __attribute__((availability(macos, introduced = version)))

#ifdef __cplusplus
#define DC_EXTERN_C extern "C"
#else
#define DC_EXTERN_C extern
#endif
