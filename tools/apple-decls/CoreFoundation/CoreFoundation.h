// CoreFoundation: the base types, ownership calls and constant strings.
#pragma once

#include <objc/objc.h>
#include <stdbool.h>
#include <stdint.h>

typedef unsigned char Boolean;
typedef uint32_t UInt32;
typedef int32_t OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
enum { noErr = 0 };  // MacTypes.h

typedef const void* CFTypeRef;
typedef double CFTimeInterval;
typedef int32_t SInt32;
typedef const struct __attribute__((objc_bridge(NSString))) __CFString* CFStringRef;
typedef const struct __attribute__((objc_bridge(NSArray))) __CFArray* CFArrayRef;
typedef const struct __attribute__((objc_bridge(NSDictionary))) __CFDictionary* CFDictionaryRef;
typedef struct __attribute__((objc_bridge_mutable(NSMutableDictionary)))
__CFDictionary* CFMutableDictionaryRef;
typedef const struct __attribute__((objc_bridge(NSData))) __CFData* CFDataRef;
typedef struct __attribute__((objc_bridge_mutable(NSMutableData))) __CFData* CFMutableDataRef;
typedef const struct __attribute__((objc_bridge(id))) __CFAllocator* CFAllocatorRef;
typedef const struct __attribute__((objc_bridge(NSNumber))) __CFNumber* CFNumberRef;
typedef long CFIndex;
typedef uint8_t UInt8;

#define CF_BRIDGED_TYPE(T) __attribute__((objc_bridge(T)))
#define CF_BRIDGED_MUTABLE_TYPE(T) __attribute__((objc_bridge_mutable(T)))
#define CF_RETURNS_RETAINED __attribute__((cf_returns_retained))
#define CF_RELEASES_ARGUMENT __attribute__((cf_consumed))
#define CF_CONSUMED __attribute__((cf_consumed))
#define CF_OPTIONS(_type, _name) \
  _type _name;                   \
  enum : _type
#define CF_ENUM(_type, _name) \
  enum _name : _type _name;   \
  enum _name : _type

NS_ASSUME_NONNULL_BEGIN

DC_EXTERN_C const CFAllocatorRef kCFAllocatorDefault;

DC_EXTERN_C CFTypeRef CFRetain(CFTypeRef cf);
DC_EXTERN_C void CFRelease(CFTypeRef cf);

// CFData.h
DC_EXTERN_C CF_RETURNS_RETAINED CFMutableDataRef _Nullable CFDataCreateMutable(
    CFAllocatorRef _Nullable allocator, CFIndex capacity);
DC_EXTERN_C const UInt8* _Nullable CFDataGetBytePtr(CFDataRef theData);
DC_EXTERN_C CFIndex CFDataGetLength(CFDataRef theData);

// CFNumber.h
typedef CF_ENUM(CFIndex, CFNumberType) {
  kCFNumberDoubleType = 13,
};
DC_EXTERN_C CF_RETURNS_RETAINED CFNumberRef _Nullable CFNumberCreate(
    CFAllocatorRef _Nullable allocator, CFNumberType theType, const void* valuePtr);

// CFDictionary.h: the callback tables are only ever passed by address here.
typedef struct CFDictionaryKeyCallBacks CFDictionaryKeyCallBacks;
typedef struct CFDictionaryValueCallBacks CFDictionaryValueCallBacks;
DC_EXTERN_C const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
DC_EXTERN_C const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;
DC_EXTERN_C CF_RETURNS_RETAINED CFDictionaryRef _Nullable CFDictionaryCreate(
    CFAllocatorRef _Nullable allocator, const void* _Nullable* _Nullable keys,
    const void* _Nullable* _Nullable values, CFIndex numValues,
    const CFDictionaryKeyCallBacks* _Nullable keyCallBacks,
    const CFDictionaryValueCallBacks* _Nullable valueCallBacks);

// Compile-time constant strings, as the SDK spells CFSTR for clang.
#define CFSTR(cStr) ((CFStringRef)__builtin___CFStringMakeConstantString("" cStr ""))

NS_ASSUME_NONNULL_END

#include <CoreFoundation/CFRunLoop.h>
