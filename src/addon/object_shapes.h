// Result objects of a fixed shape, made by an object literal compiled once per
// environment: the engine then lays each one out whole, several times faster
// than defining its properties one by one. JavaScript thread only.
#pragma once

#include <node_api.h>

#include <cstddef>

namespace deskcap::js {

// The function (a0, ..., an) => ({names[0]: a0, ...}) of this environment,
// compiled on first use for these name pointers (string literals); nullptr
// when it cannot be made (a name that is not a plain identifier, a host that
// refuses to compile), and the caller defines the properties itself.
napi_value shape_factory(napi_env env, const char* const* names, size_t count);

}  // namespace deskcap::js
