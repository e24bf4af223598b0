// app_window_bounds: the frontmost sizeable on-screen window of an application.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "boundary/c_guard.h"
#include "core/utf8.h"
#include "boundary/json_text.h"
#include "boundary/native.h"
#include "desktop/desktop_steps.h"
#include "platform/platform.h"

namespace deskcap::native {
namespace {

constexpr double kMinimumWidth = 200.0;
constexpr double kMinimumHeight = 150.0;

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
  if (length == 0 || !is_valid_utf8(std::string_view(bundle_id, length)))
    return nullptr;

  const std::string requested(bundle_id, length);
  platform::refresh_running_applications();
  std::set<int64_t> pids;
  for (const auto& app : platform::running_applications()) {
    if (app.bundle_identifier && matches(requested, *app.bundle_identifier))
      pids.insert(app.process_identifier);
  }
  if (pids.empty()) return nullptr;

  auto windows = platform::window_list_copy(kOnScreenWindows, kNoRelativeWindow);
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

// Memory exhaustion reads as "no window".
extern "C" char* app_window_bounds(const char* bundle_id) {
  return deskcap::guarded<char*>(nullptr, [&] { return deskcap::native::window_bounds(bundle_id); });
}
