// libturbojpeg, opened by soname rather than linked. Callers go through the
// members by name: the encoder takes the table as an argument (a test hands
// it one loaded from a name that does not exist), so the call sites cannot be
// redirected with macros as the pulse and xcb ones are.
#pragma once

#include <turbojpeg.h>

// Every function the encoder calls.
#define DESKCAP_TURBOJPEG_FUNCTIONS(X) \
  X(tjInitCompress) X(tjCompress2) X(tjFree) X(tjDestroy) X(tjGetErrorStr2)

namespace deskcap::platform::shared {

#define DESKCAP_TURBOJPEG_POINTER(name) decltype(&::name) name = nullptr;

struct TurboJpegLibrary {
  // Without the library (or any of its functions listed) every pointer here
  // is null.
  bool loaded = false;
  DESKCAP_TURBOJPEG_FUNCTIONS(DESKCAP_TURBOJPEG_POINTER)
};

#undef DESKCAP_TURBOJPEG_POINTER

// Opens `soname` (and leaves it open) and resolves every function.
TurboJpegLibrary load_turbojpeg_library(const char* soname);

// libturbojpeg.so.0, loaded on the first call, from any thread; never unloaded.
const TurboJpegLibrary& turbojpeg_library();

}  // namespace deskcap::platform::shared
