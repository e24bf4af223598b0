// Fake TCC: where the library is (the world's "tcc.library", else the product
// path); the looked-up functions are called in their C shape (platform/c_tcc).
#include <mutex>
#include <set>
#include <string>

#include "platform/fake/base_world_fake.h"
#include "platform/platform.h"

namespace deskcap::platform {
namespace {

constexpr const char* kProductPath = "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC";

// Paths handed out stay valid for the life of the process.
const char* keep(const std::string& path) {
  static auto& mutex = *new std::mutex;
  static auto& kept = *new std::set<std::string>;
  std::lock_guard<std::mutex> lock(mutex);
  return kept.insert(path).first->c_str();
}

}  // namespace

const char* tcc_framework_path() {
  fake::json tcc = fake::section("tcc");
  if (tcc.is_object() && tcc.contains("library") && tcc["library"].is_string())
    return keep(tcc["library"].get<std::string>());
  return kProductPath;
}

}  // namespace deskcap::platform
