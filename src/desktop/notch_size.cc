// notch_size: the camera housing of the first display that has one.
#include "boundary/c_guard.h"
#include "boundary/json_text.h"
#include "boundary/native.h"
#include "platform/platform.h"

namespace deskcap::native {
namespace {

char* notch() {
  platform::AutoreleasePool pool;

  for (const auto& screen : platform::screens()) {
    if (!(screen.safe_area_top > 0)) continue;
    // The notch is the stretch of the top edge that neither auxiliary area covers.
    double width =
        screen.frame.width - screen.auxiliary_top_left.width - screen.auxiliary_top_right.width;
    nlohmann::json answer = nlohmann::json::object();
    answer["width"] = width;
    answer["height"] = screen.safe_area_top;
    return json_text_from_object(answer);
  }
  return nullptr;
}

}  // namespace
}  // namespace deskcap::native

extern "C" char* notch_size(void) {
  return deskcap::guarded<char*>(nullptr, [] { return deskcap::native::notch(); });
}
