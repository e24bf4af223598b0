// Fake TCC: where the library is (the world's "tcc.library", else the product
// path); the looked-up functions are called in their C shape (platform/c_tcc).
#include <dlfcn.h>

#include <map>
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

#ifdef __APPLE__
constexpr const char* kLibrarySuffix = ".dylib";
#else
constexpr const char* kLibrarySuffix = ".so";
#endif

// The scripted libraries are built next to the binary that holds the fake
// world (the testing addon, or a test program).
std::string scripted_library(const std::string& stem) {
  Dl_info info{};
  std::string dir = ".";
  if (dladdr(reinterpret_cast<void*>(&scripted_library), &info) != 0 && info.dli_fname != nullptr) {
    std::string self = info.dli_fname;
    size_t slash = self.rfind('/');
    if (slash != std::string::npos) dir = self.substr(0, slash);
  }
  return dir + "/lib" + stem + kLibrarySuffix;
}

}  // namespace

const char* tcc_framework_path() {
  static const std::map<std::string, std::string>& names = *new std::map<std::string, std::string>{
      {"fake", "fake_tcc"}, {"fake-no-request", "fake_tcc_no_request"},
      {"fake-no-preflight", "fake_tcc_no_preflight"}};
  fake::json tcc = fake::section("tcc");
  if (tcc.is_object() && tcc.contains("library") && tcc["library"].is_string()) {
    std::string library = tcc["library"].get<std::string>();
    auto scripted = names.find(library);
    return keep(scripted != names.end() ? scripted_library(scripted->second) : library);
  }
  return kProductPath;
}

}  // namespace deskcap::platform
