// Opens libturbojpeg by soname.
#include "platform/shared/jpeg_shared.h"
#include "platform/shared/shared_library_shared.h"
#include "platform/shared/turbojpeg_library_shared.h"

namespace deskcap::platform::shared {

#define DESKCAP_TURBOJPEG_RESOLVE(name) library.resolve(turbojpeg.name, #name);

TurboJpegLibrary load_turbojpeg_library(const char* soname) {
  TurboJpegLibrary turbojpeg;
  SharedLibrary library(soname);
  DESKCAP_TURBOJPEG_FUNCTIONS(DESKCAP_TURBOJPEG_RESOLVE)
  turbojpeg.loaded = library.usable();
  if (!turbojpeg.loaded) turbojpeg = TurboJpegLibrary{};
  return turbojpeg;
}

#undef DESKCAP_TURBOJPEG_RESOLVE

const TurboJpegLibrary& turbojpeg_library() {
  // Never destroyed: threads may still encode while exit() runs.
  static const TurboJpegLibrary& library =
      *new TurboJpegLibrary(load_turbojpeg_library(kJpegLibrarySoname));
  return library;
}

}  // namespace deskcap::platform::shared
