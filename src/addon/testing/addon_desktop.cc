#include "addon/exports/addon_desktop.h"
#include "testing/scripted_answers.h"

namespace deskcap::js {

const DesktopNative& addon_desktop() { return testing::scripted_desktop(); }

}  // namespace deskcap::js
