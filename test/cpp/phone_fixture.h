// Shared set-up of the phone tests: a world installed in code, the phone
// layer's process-wide state forgotten, and the log drained into lines.
#pragma once

#define DESKCAP_PHONE_TEST_HOOKS 1

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
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

// Lines of a text joined by "\n"; the empty text has none.
inline Lines split(const std::string& text) {
  Lines lines;
  for (size_t start = 0, end = 0; !text.empty() && end != std::string::npos; start = end + 1) {
    end = text.find('\n', start);
    lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
  }
  return lines;
}

// The raw drain; NULL (a failed copy) reads as nothing.
inline std::string drain() {
  std::unique_ptr<char, decltype(&native_free)> text(ios_take_log(), &native_free);
  return text ? text.get() : "";
}

inline Lines take_log() { return split(drain()); }

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
  d.update(extra);
  return d;
}

inline json webcam() {
  return {{"uniqueId", "0x1420000005ac8600"}, {"name", "FaceTime HD Camera"}, {"modelId", "UVC Camera VendorID_1452"},
          {"media", {"video"}}, {"deviceType", "AVCaptureDeviceTypeBuiltInWideAngleCamera"}, {"width", 1280},
          {"height", 720}};
}

// Polls `done` for up to five seconds.
inline bool eventually(const std::function<bool()>& done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return done();
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
  void SetUp() override { install(json::object()); }
  void TearDown() override { take_log(); }
};

}  // namespace deskcap::phone_test
