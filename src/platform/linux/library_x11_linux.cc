// Opens libxcb and its extension libraries by soname. This file must not see
// x11_calls_linux.h: the names here are the libraries' own.
#include "platform/linux/x11_library_linux.h"
#include "platform/shared/shared_library_shared.h"

namespace deskcap::linux_backend::x11 {
namespace {

using platform::shared::SharedLibrary;

#define DESKCAP_XCB_RESOLVE(name) library.resolve(xcb->name, #name);

XcbLibrary* load() {
  auto* xcb = new XcbLibrary;
  {
    SharedLibrary library("libxcb.so.1");
    DESKCAP_XCB_CORE_FUNCTIONS(DESKCAP_XCB_RESOLVE)
    xcb->core = library.usable();
    xcb->core_error = library.unusable_reason();
    // The extension libraries need it too.
    if (!xcb->core) return xcb;
  }
  // An extension's library: its functions and its extension id, all or nothing.
  auto extension = [](const char* soname, auto resolve) {
    SharedLibrary library(soname);
    resolve(library);
    return library.usable();
  };
  xcb->randr = extension("libxcb-randr.so.0", [xcb](SharedLibrary& library) {
    DESKCAP_XCB_RANDR_FUNCTIONS(DESKCAP_XCB_RESOLVE)
    library.resolve(xcb->xcb_randr_id, "xcb_randr_id");
  });
  xcb->composite = extension("libxcb-composite.so.0", [xcb](SharedLibrary& library) {
    DESKCAP_XCB_COMPOSITE_FUNCTIONS(DESKCAP_XCB_RESOLVE)
    library.resolve(xcb->xcb_composite_id, "xcb_composite_id");
  });
  xcb->damage = extension("libxcb-damage.so.0", [xcb](SharedLibrary& library) {
    DESKCAP_XCB_DAMAGE_FUNCTIONS(DESKCAP_XCB_RESOLVE)
    library.resolve(xcb->xcb_damage_id, "xcb_damage_id");
  });
  xcb->shm = extension("libxcb-shm.so.0", [xcb](SharedLibrary& library) {
    DESKCAP_XCB_SHM_FUNCTIONS(DESKCAP_XCB_RESOLVE)
    library.resolve(xcb->xcb_shm_id, "xcb_shm_id");
  });
  xcb->res = extension("libxcb-res.so.0", [xcb](SharedLibrary& library) {
    DESKCAP_XCB_RES_FUNCTIONS(DESKCAP_XCB_RESOLVE)
    library.resolve(xcb->xcb_res_id, "xcb_res_id");
  });
  xcb->xfixes = extension("libxcb-xfixes.so.0", [xcb](SharedLibrary& library) {
    DESKCAP_XCB_XFIXES_FUNCTIONS(DESKCAP_XCB_RESOLVE)
    library.resolve(xcb->xcb_xfixes_id, "xcb_xfixes_id");
  });
  return xcb;
}

#undef DESKCAP_XCB_RESOLVE

}  // namespace

const XcbLibrary& xcb_library() {
  // Never destroyed: threads may still call through it while exit() runs.
  static const XcbLibrary& library = *load();
  return library;
}

}  // namespace deskcap::linux_backend::x11
