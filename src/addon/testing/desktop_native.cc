#include "addon/exports/desktop_native.h"
#include "testing/scripted_answers.h"

namespace deskcap::js {

const DesktopNative& desktop_native() { return testing::scripted_desktop_native(); }

}  // namespace deskcap::js
