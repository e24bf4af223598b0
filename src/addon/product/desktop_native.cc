#include "addon/exports/desktop_native.h"

namespace deskcap::js {

const DesktopNative& desktop_native() { return native_desktop(); }

}  // namespace deskcap::js
