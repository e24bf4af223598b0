// Built without xcb's development packages: no stream has a server to watch.
#include "platform/linux/x11_server_linux.h"

namespace deskcap::linux_backend::x11 {

std::unique_ptr<SourceWatch> watch_source(const StreamSource&, std::string* error) {
  *error = unavailable_reason();
  return nullptr;
}

}  // namespace deskcap::linux_backend::x11
