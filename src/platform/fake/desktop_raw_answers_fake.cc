// Fake stand-ins for whole JSON-answering native functions, so that documents
// the frameworks would never produce reach the addon side.
#include "platform/fake/desktop_fake.h"
#include "platform/platform.h"

namespace deskcap::platform {

std::optional<std::optional<std::string>> raw_native_answer(const char* function) {
  fake::count_desktop_call(fake::DesktopFacility::RawAnswers);
  auto world = fake::desktop_world();
  auto it = world->raw_answers.find(function);
  if (it == world->raw_answers.end()) return std::nullopt;
  return it->second;
}

}  // namespace deskcap::platform
