#include "addon/exports/addon_desktop.h"

namespace deskcap::js {

const DesktopNative& addon_desktop() { return system_desktop(); }

}  // namespace deskcap::js
