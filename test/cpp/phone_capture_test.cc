// One frame of a connected phone: every status with its text and log lines,
// camera access, and the worker side's reading of the answer.
#include <algorithm>
#include <cstring>

#include "phone_fixture.h"

namespace deskcap::phone_test {
namespace {

const std::string kId = "00008110-001E30D02E38802E";
const std::string kBegin = "capture_begin unique_id=" + kId + " camera_authorization=";
const std::string kStarting = "capture_session_starting name=Ana's iPhone 1179x2556";
const char* kCameraText =
    "Corvanta needs camera access to capture a connected phone. Grant it in System Settings > "
    "Privacy & Security > Camera.";

struct Answer {
  int32_t status = -1;
  std::vector<uint8_t> png;
  bool png_set = false;
  uint32_t width = 0, height = 0;
  std::optional<std::string> error;
};

Answer capture(const std::string& id = kId) {
  Answer a;
  uint8_t* png = reinterpret_cast<uint8_t*>(&a);  // must be overwritten with NULL
  size_t len = 99;
  char* error = reinterpret_cast<char*>(&a);
  a.status = ios_capture_device(id.c_str(), &png, &len, &a.width, &a.height, &error);
  if (png != nullptr) {
    a.png_set = true;
    a.png.assign(png, png + len);
    native_free(png);
  }
  if (error != nullptr) {
    a.error = std::string(error);
    native_free(error);
  }
  return a;
}

uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

json ana(json capture_spec = json::object()) {
  return phone(kId, "Ana's iPhone", {{"capture", std::move(capture_spec)}});
}

class Capture : public PhoneTest {
 protected:
  // Installs, then counts the objects alive once the threads of earlier
  // captures (a frame delivered just before its call returned) let theirs go.
  void install_counted(json phone_section, json top = json::object()) {
    install(std::move(phone_section), std::move(top));
    live_ = fake::live_objects();
    auto stable_since = std::chrono::steady_clock::now();
    auto give_up = stable_since + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() - stable_since < std::chrono::milliseconds(100) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (long now = fake::live_objects(); now != live_) {
        live_ = now;
        stable_since = std::chrono::steady_clock::now();
      }
    }
  }

  // Nothing of the captures since install_counted outlived them, and no session runs.
  void expect_nothing_left() {
    EXPECT_EQ(fake::phone_calls().sessions_running, 0);
    EXPECT_TRUE(eventually([&] { return fake::live_objects() == live_; }))
        << fake::live_objects() << " objects alive, " << live_ << " before";
  }

  long live_ = 0;
};

TEST_F(Capture, SuccessGivesThePngOfTheFirstRenderedFrame) {
  install_counted({{"devices", {webcam(), ana({{"frame", {{"width", 40}, {"height", 30}, {"count", 5}, {"deliver", "sync"}}}})}}});
  Answer a = capture();
  ASSERT_EQ(a.status, 0) << a.error.value_or("");
  EXPECT_FALSE(a.error);
  ASSERT_GT(a.png.size(), 33u);
  EXPECT_EQ(std::memcmp(a.png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  // IHDR width and height, and the size answered.
  EXPECT_EQ(std::vector<uint32_t>({be32(a.png.data() + 16), be32(a.png.data() + 20), a.width, a.height}),
            std::vector<uint32_t>({40, 30, 40, 30}));

  Lines log = take_log();
  EXPECT_EQ(log.front(), kBegin + "authorized");
  EXPECT_EQ(log.back(), "capture_ok id=00008110 40x30 bytes=" + std::to_string(a.png.size()));
  // Only the first line shows the whole id.
  for (size_t i = 1; i < log.size(); ++i) EXPECT_EQ(log[i].find(kId), std::string::npos) << log[i];
  expect_nothing_left();

  // The worker side hands over the same picture.
  auto step = capture_ios_device_step(kId);
  ASSERT_TRUE(step.ok()) << step.error().reason;
  EXPECT_EQ(step.value().png, a.png);
  EXPECT_EQ(std::make_pair(step.value().width, step.value().height), std::make_pair(40u, 30u));
}

TEST_F(Capture, EveryFailingStatusWithItsTextAndLastLogLine) {
  const char* kNoFrames = "No frames arrived. The device may be locked, or capture trust may have been revoked.";
  struct Row {
    json phone;
    json top;
    std::string id;
    int32_t status;
    std::string error;
    std::string authorization;
    std::string last_line;
  };
  const Row rows[] = {
      {{{"devices", {ana()}}, {"screenCaptureProperty", {{"setStatus", -12}}}}, {}, kId, 1,
       "Could not enable device screen capture", "authorized", "enable_failed status=-12"},
      // Begins like the phone's id, but is not it; the device dump follows.
      {{{"devices", {ana()}}}, {{"timeScale", 0.01}}, "00008110-001E", 2, "Device is no longer connected", "authorized",
       "capture_devices total=1 with_video=1"},
      {{{"devices", {ana({{"inputError", "The device is locked."}})}}}, {}, kId, 3, "The device is locked.",
       "authorized", "capture_input_failed error=The device is locked."},
      {{{"devices", {ana({{"inputFails", true}})}}}, {}, kId, 3, "Could not open device", "authorized",
       "capture_input_failed error=unknown"},
      {{{"devices", {ana({{"refuseInput", true}})}}}, {}, kId, 4, "Device input was rejected by the capture session",
       "authorized", "scan source=notification returned=0 muxed_new=0"},
      {{{"devices", {ana({{"refuseOutput", true}})}}}, {}, kId, 5, "Video output was rejected by the capture session",
       "authorized", "scan source=notification returned=0 muxed_new=0"},
      {{{"devices", {ana({{"frame", nullptr}})}}}, {{"timeScale", 0.02}}, kId, 6, kNoFrames, "authorized",
       "capture_no_frames id=00008110"},
      // A frame that comes too late lands in a grabber kept alive for it.
      {{{"devices", {ana({{"frame", {{"width", 2}, {"height", 2}, {"delayMs", 8000}}}})}}}, {{"timeScale", 0.02}}, kId,
       6, kNoFrames, "authorized", "capture_no_frames id=00008110"},
      {{{"devices", {ana({{"renderFails", true}, {"frame", {{"width", 8}, {"height", 6}}}})}}}, {}, kId, 7,
       "Could not encode the captured frame", "authorized", kStarting},
      {{{"devices", {ana({{"encodeFails", true}, {"frame", {{"width", 8}, {"height", 6}}}})}}}, {}, kId, 7,
       "Could not encode the captured frame", "authorized", kStarting},
      // Denied, restricted or unknown camera access builds no session and asks nothing.
      {{{"devices", {ana()}}, {"camera", {{"status", 2}}}}, {}, kId, 8, kCameraText, "denied",
       "camera_access_blocked status=denied"},
      {{{"devices", {ana()}}, {"camera", {{"status", 1}}}}, {}, kId, 8, kCameraText, "restricted",
       "camera_access_blocked status=restricted"},
      {{{"devices", {ana()}}, {"camera", {{"status", 7}}}}, {}, kId, 8, kCameraText, "unknown",
       "camera_access_blocked status=unknown"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.phone.dump());
    install_counted(row.phone, row.top.is_null() ? json::object() : row.top);
    auto before = fake::phone_calls();
    Answer a = capture(row.id);
    EXPECT_EQ(a.status, row.status);
    EXPECT_EQ(a.error, row.error);
    EXPECT_FALSE(a.png_set);
    Lines log = take_log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), "capture_begin unique_id=" + row.id + " camera_authorization=" + row.authorization);
    EXPECT_EQ(log.back(), row.last_line);
    if (row.status == 2) EXPECT_EQ(log[log.size() - 3], "capture_device_missing id=00008110");
    // Rendered, then not encoded: the size is already known.
    if (row.status == 7) EXPECT_EQ(a.width, row.phone["devices"][0].at("capture").contains("encodeFails") ? 8u : 0u);
    if (row.status == 8) EXPECT_EQ(fake::phone_calls().sessions_created, before.sessions_created);
    EXPECT_EQ(fake::phone_calls().access_requests, before.access_requests);
    expect_nothing_left();
  }
  // Nothing attached: the warm-up runs out first.
  install({{"devices", json::array()}}, {{"timeScale", 0.01}});
  EXPECT_EQ(capture("short").status, 2);
  Lines log = take_log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "warmup_exhausted still_empty_after_ms=3000");
}

TEST_F(Capture, PngCopyFailureIsStatusEightWithItsOwnText) {
  json device = ana({{"frame", {{"width", 64}, {"height", 48}}}});
  install({{"devices", {device}}});
  size_t size = capture().png.size();
  ASSERT_GT(size, 0u);

  install({{"devices", {device}}}, {{"allocation", {{"failSizes", {size}}}}});
  Answer a = capture();
  EXPECT_EQ(a.status, 8);
  EXPECT_EQ(a.error, "Ran out of memory encoding the captured frame");
  EXPECT_FALSE(a.png_set);
  EXPECT_EQ(take_log().back(), kStarting);
}

TEST_F(Capture, CameraAccessIsRequestedWhenNeverAskedAndTimesOutUnanswered) {
  struct Case {
    json request;
    double time_scale;
    int32_t status;
    Lines after_requesting;
  };
  // Timed out: 60 s scaled to 0.3 s; the late answer comes at 0.6 s, after the call returned.
  const Case cases[] = {
      {{{"granted", true}, {"delayMs", 100}}, 1, 0, {"camera_access_result granted=yes"}},
      {{{"granted", false}, {"deliver", "sync"}}, 1, 8, {"camera_access_result granted=no"}},
      {{{"granted", true}, {"deliver", "never"}}, 0.005, 8, {"camera_access_timed_out"}},
      {{{"granted", true}, {"delayMs", 120000}}, 0.005, 8, {"camera_access_timed_out"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.dump());
    install_counted({{"devices", {ana({{"frame", {{"width", 2}, {"height", 2}}}})}},
                     {"camera", {{"status", 0}, {"request", c.request}}}},
                    {{"timeScale", c.time_scale}});
    auto before = fake::phone_calls();
    Answer a = capture();
    EXPECT_EQ(a.status, c.status);
    EXPECT_EQ(fake::phone_calls().access_requests - before.access_requests, 1);
    Lines log = take_log();
    EXPECT_EQ(log[0], kBegin + "not_determined");
    auto at = std::find(log.begin(), log.end(), "camera_access_requesting");
    ASSERT_NE(at, log.end());
    EXPECT_EQ(Lines(at + 1, at + 1 + std::min<ptrdiff_t>(log.end() - at - 1, 1)), c.after_requesting);
    if (c.status == 8) {
      EXPECT_EQ(a.error, kCameraText);
      EXPECT_EQ(at + 2, log.end());
      EXPECT_EQ(fake::phone_calls().sessions_created, before.sessions_created);
    }
    if (c.request.contains("delayMs") && c.status == 8) {  // the answer lands after the call is gone
      EXPECT_TRUE(eventually([] { return fake::phone_world()->camera_status == 3; }));
    }
    if (!c.request.contains("deliver") || c.request["deliver"] != "never") expect_nothing_left();
  }
}

TEST_F(Capture, StepRefusesANulBeforeAnyNativeWorkAndFailsWithTheNativeTextOrTheStatus) {
  install({{"devices", {ana({{"refuseInput", true}})}}});
  long writes = fake::phone_calls().property_writes;
  auto nul = capture_ios_device_step(std::string("0000\0" "8110", 9));
  ASSERT_FALSE(nul.ok());
  EXPECT_EQ(nul.error().reason, "Device id contained a null byte");
  EXPECT_EQ(nul.error().status, Status::GenericFailure);
  EXPECT_TRUE(take_log().empty());
  EXPECT_EQ(fake::phone_calls().property_writes, writes);

  auto refused = capture_ios_device_step(kId);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().reason, "Device input was rejected by the capture session");
  EXPECT_EQ(refused.error().status, Status::GenericFailure);

  // The error text's own copy fails: only the status is left to tell.
  const std::string text = "Device input was rejected by the capture session";
  install({{"devices", {ana({{"refuseInput", true}})}}}, {{"allocation", {{"failSizes", {text.size() + 1}}}}});
  auto bare = capture_ios_device_step(kId);
  ASSERT_FALSE(bare.ok());
  EXPECT_EQ(bare.error().reason, "Device capture failed with status 4");
}

TEST(PhoneShortId, KeepsTheFirstEightCharacters) {
  EXPECT_EQ(phone::short_device_id("00008110-001E30D02E38802E"), "00008110");
  EXPECT_EQ(phone::short_device_id("12345678"), "12345678");
  EXPECT_EQ(phone::short_device_id(""), "");
  EXPECT_EQ(phone::short_device_id("äöüßéèàç-rest"), "äöüßéèàç");
  // A character outside the BMP counts twice, as in UTF-16.
  EXPECT_EQ(phone::short_device_id("\xF0\x9F\x93\xB1\xF0\x9F\x93\xB1\xF0\x9F\x93\xB1" "abc"),
            "\xF0\x9F\x93\xB1\xF0\x9F\x93\xB1\xF0\x9F\x93\xB1" "ab");
  EXPECT_EQ(phone::short_device_id("\xFF\xFE"), "(null)");
}

}  // namespace
}  // namespace deskcap::phone_test
