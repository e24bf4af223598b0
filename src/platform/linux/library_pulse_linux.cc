// Opens libpulse by soname. This file must not see pulse_calls_linux.h: the
// names here are the library's own.
#include "platform/linux/pulse_library_linux.h"
#include "platform/shared/shared_library_shared.h"

namespace deskcap::linux_backend::pulse {
namespace {

using platform::shared::SharedLibrary;

#define DESKCAP_PULSE_RESOLVE(name) library.resolve(pulse->name, #name);

PulseLibrary* load() {
  auto* pulse = new PulseLibrary;
  SharedLibrary library("libpulse.so.0");
  DESKCAP_PULSE_FUNCTIONS(DESKCAP_PULSE_RESOLVE)
  pulse->loaded = library.usable();
  return pulse;
}

#undef DESKCAP_PULSE_RESOLVE

}  // namespace

const PulseLibrary& pulse_library() {
  // Never destroyed: threads may still call through it while exit() runs.
  static const PulseLibrary& library = *load();
  return library;
}

}  // namespace deskcap::linux_backend::pulse
