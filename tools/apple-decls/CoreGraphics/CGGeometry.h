// CoreGraphics/CGBase.h and CGGeometry.h: the geometry types Foundation and
// AppKit share with CoreGraphics.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

typedef double CGFloat;  // 64-bit targets

struct CGPoint {
  CGFloat x;
  CGFloat y;
};
typedef struct CGPoint CGPoint;

struct CGSize {
  CGFloat width;
  CGFloat height;
};
typedef struct CGSize CGSize;

struct CGRect {
  CGPoint origin;
  CGSize size;
};
typedef struct CGRect CGRect;

NS_ASSUME_NONNULL_BEGIN

DC_EXTERN_C const CGRect CGRectZero;

static inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  CGRect rect;
  rect.origin.x = x;
  rect.origin.y = y;
  rect.size.width = width;
  rect.size.height = height;
  return rect;
}

// Reads a dictionary of the form kCGWindowBounds holds; false when it is not one.
DC_EXTERN_C bool CGRectMakeWithDictionaryRepresentation(CFDictionaryRef _Nullable dict,
                                                        CGRect* _Nullable rect);

NS_ASSUME_NONNULL_END
