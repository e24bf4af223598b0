// Shared set-up of the phone tests: a world installed in code, the phone
// layer's process-wide state forgotten, and the log drained into lines.
#pragma once

#define DESKCAP_PHONE_TEST_HOOKS 1

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "boundary/native.h"
#include "phone/phone_internal.h"
#include "platform/fake/phone_fake.h"
#include "testing/fresh_process.h"

namespace deskcap::phone_test {

using fake::json;
using Lines = std::vector<std::string>;

inline Lines take_log() {
  char* text = ios_take_log();
  Lines lines;
  if (text == nullptr) return lines;
  std::string all = text;
  native_free(text);
  if (all.empty()) return lines;
  size_t start = 0;
  while (true) {
    size_t end = all.find('\n', start);
    lines.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// The six per-source lines of one verbose scan, with the counts given in
// source order as {returned, muxed_new}.
inline Lines scan_lines(const std::vector<std::pair<int, int>>& counts) {
  static const char* names[] = {"discovery_external_muxed", "discovery_external_any", "deprecated_muxed",
                                "deprecated_all",           "watch_session",          "notification"};
  Lines lines;
  for (size_t i = 0; i < 6; ++i) {
    auto [returned, fresh] = i < counts.size() ? counts[i] : std::pair<int, int>{0, 0};
    lines.push_back(std::string("scan source=") + names[i] + " returned=" + std::to_string(returned) +
                    " muxed_new=" + std::to_string(fresh));
  }
  return lines;
}

inline Lines concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A muxed phone reported by every query unless told otherwise.
inline json phone(const std::string& id, const std::string& name = "iPhone", json extra = json::object()) {
  json d = {{"uniqueId", id}, {"name", name}, {"modelId", "iPhone15,2"}, {"media", {"muxed"}},
            {"width", 1179}, {"height", 2556}};
  for (auto& [k, v] : extra.items()) d[k] = v;
  return d;
}

inline json webcam(const std::string& id = "0x1420000005ac8600") {
  return {{"uniqueId", id},       {"name", "FaceTime HD Camera"}, {"modelId", "UVC Camera VendorID_1452"},
          {"media", {"video"}},   {"deviceType", "AVCaptureDeviceTypeBuiltInWideAngleCamera"},
          {"width", 1280},        {"height", 720}};
}

// Polls `done` for up to `seconds`.
inline bool eventually(const std::function<bool()>& done, double seconds = 5) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class PhoneTest : public ::testing::Test {
 protected:
  // Installs the world ({"phone": phone_section} plus top-level extras) and
  // starts from a process that never touched a phone.
  void install(json phone_section, json top = json::object()) {
    json world = top;
    world["phone"] = std::move(phone_section);
    fake::set_world(world);
    testing::forget_process_state();
    fake::phone_world();  // built now, so that object counts start after it
    take_log();
  }
  void TearDown() override { take_log(); }
};

}  // namespace deskcap::phone_test
