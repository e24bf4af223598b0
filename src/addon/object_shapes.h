// Result objects of a fixed shape, made by an object literal compiled once per
// environment: the engine then lays each one out whole, several times faster
// than defining its properties one by one. Numbers and booleans reach the
// literal through a scratch Float64Array of the environment rather than as
// JavaScript values made one by one. JavaScript thread only.
#pragma once

#include <node_api.h>

#include <cstddef>

#include "addon/convert.h"

namespace deskcap::js {

// More fields than any result has; the scratch slot after theirs holds a list
// element's index.
constexpr size_t kMostFields = 16;

// The maker of objects of one shape in an environment:
// factory(list, valueFields...) reads each number and boolean field i from
// numbers[i] and the list index from numbers[kMostFields], stores the object
// at list[index] unless list is undefined, and returns it.
struct ShapeMaker {
  napi_value factory = nullptr;
  double* numbers = nullptr;  // kMostFields + 1 doubles
};

// The maker for these fields (names compared by pointer: string literals),
// compiled on first use; factory is nullptr when it cannot be made (a name
// that is not a plain identifier, a host that refuses to compile), and the
// caller defines the properties itself.
ShapeMaker shape_maker(napi_env env, const Field* fields, size_t count);

}  // namespace deskcap::js
