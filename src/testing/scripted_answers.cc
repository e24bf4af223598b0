#include "testing/scripted_answers.h"

#include <atomic>
#include <cstring>
#include <optional>
#include <string>

#include "boundary/json_text.h"
#include "boundary/native.h"
#include "core/utf8.h"
#include "platform/fake/base_world_fake.h"

namespace deskcap::testing {
namespace {

using fake::json;

std::atomic<long> g_lookups{0};

std::optional<std::string> from_base64(const std::string& text) {
  static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    size_t v = alphabet.find(c);
    if (v == std::string::npos) return std::nullopt;
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return bytes;
}

// Outer: whether the world scripts `function`; inner: the text, or nullopt for NULL.
// Bytes that cannot be decoded read as no answer at all (NULL).
std::optional<std::optional<std::string>> scripted(const char* function) {
  g_lookups.fetch_add(1);
  json desktop = fake::section("desktop");
  if (!desktop.is_object()) return std::nullopt;
  auto bytes = desktop.find("rawAnswerBytes");
  if (bytes != desktop.end() && bytes->is_object() && bytes->contains(function)) {
    const json& form = (*bytes)[function];
    if (form.is_object() && form.contains("hex") && form["hex"].is_string())
      return fake::from_hex(form["hex"].get<std::string>());
    if (form.is_object() && form.contains("base64") && form["base64"].is_string())
      return from_base64(form["base64"].get<std::string>());
    return std::optional<std::string>();
  }
  auto raw = desktop.find("rawAnswers");
  if (raw == desktop.end() || !raw->is_object() || !raw->contains(function)) return std::nullopt;
  const json& answer = (*raw)[function];
  if (answer.is_null()) return std::optional<std::string>();
  return std::optional<std::string>(answer.is_string() ? answer.get<std::string>() : answer.dump());
}

char* heap_answer(const std::optional<std::string>& text) {
  return text ? native::heap_copy(*text) : nullptr;
}

char* window_bounds(const char* bundle_id) {
  // The real function answers NULL for these before reading anything.
  if (bundle_id == nullptr || *bundle_id == '\0' || !is_valid_utf8(bundle_id)) return app_window_bounds(bundle_id);
  if (auto answer = scripted("app_window_bounds")) return heap_answer(*answer);
  return app_window_bounds(bundle_id);
}

char* notch() {
  if (auto answer = scripted("notch_size")) return heap_answer(*answer);
  return notch_size();
}

char* microphone_apps() {
  if (auto answer = scripted("microphone_apps_json")) return heap_answer(*answer);
  return microphone_apps_json();
}

}  // namespace

const DesktopNative& scripted_desktop() {
  static const DesktopNative table{window_bounds, notch, microphone_apps};
  return table;
}

long scripted_answer_lookups() { return g_lookups.load(); }

}  // namespace deskcap::testing
