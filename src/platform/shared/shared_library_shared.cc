#include "platform/shared/shared_library_shared.h"

#include <dlfcn.h>

namespace deskcap::platform::shared {
namespace {

std::string last_error() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}

}  // namespace

SharedLibrary::SharedLibrary(const char* soname) : soname_(soname) {
  // Local: the symbols are reached through dlsym only, and stay out of the
  // way of another copy the host process may have loaded.
  handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    error_ = last_error();
    missing_ = error_.find("cannot open shared object file") != std::string::npos;
  }
}

void* SharedLibrary::symbol(const char* name) {
  if (!usable()) return nullptr;
  dlerror();
  void* address = dlsym(handle_, name);
  if (address == nullptr) error_ = last_error();
  return address;
}

std::string SharedLibrary::unusable_reason() const {
  if (usable()) return "";
  if (missing_) return soname_ + " is not installed";
  return soname_ + " could not be loaded: " + error_;
}

}  // namespace deskcap::platform::shared
