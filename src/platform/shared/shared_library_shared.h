// A system library opened by soname at first use rather than linked, so that
// the addon loads where it is not installed. Destroying this object leaves the
// library open: threads may still call into it while exit() runs. Shared by
// the Linux backend and the fake world, which both open libraries by name.
#pragma once

#include <string>

namespace deskcap::platform::shared {

class SharedLibrary {
 public:
  explicit SharedLibrary(const char* soname);
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Points `pointer` at the symbol `name` (a function or data); a symbol the
  // library lacks leaves it null and the library unusable.
  template <class T>
  void resolve(T*& pointer, const char* name) {
    pointer = reinterpret_cast<T*>(symbol(name));
  }

  // Opened, and every symbol resolved.
  bool usable() const { return handle_ != nullptr && error_.empty(); }
  // Why not, for an error text: "<soname> is not installed" when there is no
  // such file, else "<soname> could not be loaded: <dlerror>".
  std::string unusable_reason() const;

 private:
  void* symbol(const char* name);

  std::string soname_;
  void* handle_ = nullptr;
  std::string error_;  // the first failure's dlerror text
  bool missing_ = false;
};

}  // namespace deskcap::platform::shared
