// The export table: every JavaScript function of the module, in creation order.
#pragma once

#include <node_api.h>

#include <cstddef>
#include <vector>

#include "core/error.h"

namespace deskcap::js {

struct ExportEntry {
  const char* js_name;
  size_t js_name_length;  // including the NUL
  const char* native_name;
  napi_callback callback;
};

// Appends an entry; used by the load-time initialiser.
void register_export(const ExportEntry& entry);
// A copy of the entries, in registration order.
std::vector<ExportEntry> registered_exports();
// napi_create_function for one entry, or "Failed to register function `{native}`".
Result<napi_value> create_export(napi_env env, const ExportEntry& entry);

}  // namespace deskcap::js
