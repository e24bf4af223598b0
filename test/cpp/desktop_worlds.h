// Small builders of desktop worlds for the desktop tests.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <sstream>
#include <string>

#include "platform/fake/desktop_fake.h"
#include "desktop/desktop_steps.h"
#include "platform/fake/base_world_fake.h"
#include "testing/scripted_answers.h"

namespace desktop_test {

using json = nlohmann::json;

inline json rect(double x, double y, double width, double height) {
  return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

inline json window(int pid, json bounds, json layer = 0) {
  json w = {{"ownerPid", pid}, {"bounds", std::move(bounds)}};
  if (!layer.is_null()) w["layer"] = std::move(layer);
  return w;
}

inline void set_desktop(json desktop) {
  deskcap::fake::set_world(json{{"desktop", std::move(desktop)}});
}

// The native functions with the world's scripted documents in front.
inline const deskcap::DesktopNative& scripted() { return deskcap::testing::scripted_desktop(); }

inline void set_raw_answer(const char* function, json answer) {
  set_desktop({{"rawAnswers", {{function, std::move(answer)}}}});
}

// A step's answer as text: "error: <reason>" (always a GenericFailure), "null",
// or the value as `show` writes it.
template <class T, class Show>
std::string answer(const deskcap::Result<std::optional<T>>& result, Show show) {
  if (!result.ok()) {
    EXPECT_EQ(result.error().status, deskcap::Status::GenericFailure);
    return "error: " + result.error().reason;
  }
  if (!result.value()) return "null";
  std::ostringstream s;
  show(s, *result.value());
  return s.str();
}

}  // namespace desktop_test
