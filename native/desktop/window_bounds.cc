// app_window_bounds: the frontmost sizeable on-screen window of an application.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "native/boundary/json_text.h"
#include "native/native.h"
#include "platform/platform.h"

namespace deskcap::native {
namespace {

// On-screen windows only, desktop elements left out.
constexpr uint32_t kWindowListOptions = 17;
constexpr uint32_t kNullWindowId = 0;
constexpr double kMinimumWidth = 200.0;
constexpr double kMinimumHeight = 150.0;

// The test NSString's stringWithUTF8String: makes: ill-formed text (overlong
// forms, surrogates, values past U+10FFFF, cut sequences) gives no string.
bool well_formed_utf8(const unsigned char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t min;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2, min = 0x80, cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, min = 0x800, cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, min = 0x10000, cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// The requested identifier names the application itself or one of its
// sub-identifiers ("com.example.app.helper" for "com.example.app"); never the
// other way round.
bool matches(const std::string& requested, const std::string& app) {
  if (requested == app) return true;
  std::string stem = app + ".";
  return requested.compare(0, stem.size(), stem) == 0;
}

char* window_bounds(const char* bundle_id) {
  platform::AutoreleasePool pool;
  if (bundle_id == nullptr) return nullptr;
  size_t length = std::strlen(bundle_id);
  if (length == 0 || !well_formed_utf8(reinterpret_cast<const unsigned char*>(bundle_id), length))
    return nullptr;
  if (auto raw = platform::raw_native_answer("app_window_bounds"))
    return *raw ? heap_copy(**raw) : nullptr;

  const std::string requested(bundle_id, length);
  std::set<int64_t> pids;
  for (const auto& app : platform::running_applications()) {
    if (app.bundle_identifier && matches(requested, *app.bundle_identifier))
      pids.insert(app.process_identifier);
  }
  if (pids.empty()) return nullptr;

  auto windows = platform::window_list_copy(kWindowListOptions, kNullWindowId);
  if (!windows) return nullptr;
  for (const auto& window : *windows) {
    if (!window.owner_pid || pids.count(*window.owner_pid) == 0) continue;
    if (window.layer.value_or(0) != 0) continue;
    if (!window.has_bounds || !window.bounds_valid) continue;
    const platform::Rect& r = window.bounds;
    if (r.width < kMinimumWidth || r.height < kMinimumHeight) continue;
    nlohmann::json answer = nlohmann::json::object();
    answer["x"] = r.x;
    answer["y"] = r.y;
    answer["width"] = r.width;
    answer["height"] = r.height;
    return json_text_from_object(answer);
  }
  return nullptr;
}

}  // namespace
}  // namespace deskcap::native

extern "C" char* app_window_bounds(const char* bundle_id) {
  try {
    return deskcap::native::window_bounds(bundle_id);
  } catch (...) {
    return nullptr;  // nothing throws across the boundary; memory exhaustion reads as "none"
  }
}
