// One frame of a connected phone: every status with its text and log lines,
// camera access, and the worker side's reading of the answer.
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
  // Objects alive once the threads of earlier captures (a frame delivered
  // just before its call returned) have let theirs go.
  static long settled_live() {
    long last = fake::live_objects();
    auto stable_since = std::chrono::steady_clock::now();
    auto give_up = stable_since + std::chrono::seconds(5);
    while (seconds_since(stable_since) < 0.1 && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      long now = fake::live_objects();
      if (now != last) {
        last = now;
        stable_since = std::chrono::steady_clock::now();
      }
    }
    return last;
  }

  // Checks that nothing of the capture outlived it and no session runs.
  void expect_nothing_left(long live_before) {
    EXPECT_EQ(fake::phone_calls().sessions_running, 0);
    EXPECT_TRUE(eventually([&] { return fake::live_objects() == live_before; }))
        << fake::live_objects() << " objects alive, " << live_before << " before";
  }
};

TEST_F(Capture, SuccessGivesThePngOfTheRenderedFrame) {
  install({{"devices", {webcam(), ana({{"frame", {{"width", 40}, {"height", 30}, {"color", {10, 200, 30, 255}}}}})}}});
  long live = settled_live();
  Answer a = capture();
  ASSERT_EQ(a.status, 0) << a.error.value_or("");
  EXPECT_FALSE(a.error);
  ASSERT_GT(a.png.size(), 33u);
  EXPECT_EQ(std::memcmp(a.png.data(), "\x89PNG\r\n\x1a\n", 8), 0);
  EXPECT_EQ(be32(a.png.data() + 16), 40u);  // IHDR width and height
  EXPECT_EQ(be32(a.png.data() + 20), 30u);
  EXPECT_EQ(a.width, 40u);
  EXPECT_EQ(a.height, 30u);

  Lines log = take_log();
  EXPECT_EQ(log.front(), kBegin + "authorized");
  EXPECT_EQ(log.back(), "capture_ok id=00008110 40x30 bytes=" + std::to_string(a.png.size()));
  // Only the first line shows the whole id.
  for (size_t i = 1; i < log.size(); ++i) EXPECT_EQ(log[i].find(kId), std::string::npos) << log[i];
  expect_nothing_left(live);

  // The worker side hands over the same picture.
  auto step = capture_ios_device_step(kId);
  ASSERT_TRUE(step.ok()) << step.error().reason;
  EXPECT_EQ(step.value().png, a.png);
  EXPECT_EQ(step.value().width, 40u);
  EXPECT_EQ(step.value().height, 30u);
}

TEST_F(Capture, OnlyTheFirstFrameIsKept) {
  install({{"devices", {ana({{"frame", {{"width", 4}, {"height", 2}, {"count", 5}, {"deliver", "sync"}}}})}}});
  long live = settled_live();
  Answer a = capture();
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.width, 4u);
  expect_nothing_left(live);
}

TEST_F(Capture, EnableFailureIsStatusOne) {
  install({{"devices", {ana()}}, {"screenCaptureProperty", {{"setStatus", -12}}}});
  Answer a = capture();
  EXPECT_EQ(a.status, 1);
  EXPECT_EQ(a.error, "Could not enable device screen capture");
  EXPECT_FALSE(a.png_set);
  EXPECT_EQ(take_log(), (Lines{kBegin + "authorized", "enable_failed status=-12"}));
}

TEST_F(Capture, UnknownIdIsStatusTwoWithTheDeviceDump) {
  install({{"devices", {ana()}}}, {{"timeScale", 0.01}});
  // Begins like the phone's id, but is not it.
  Answer a = capture("00008110-001E");
  EXPECT_EQ(a.status, 2);
  EXPECT_EQ(a.error, "Device is no longer connected");
  Lines log = take_log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "capture_device_missing id=00008110");  // then the device dump
  EXPECT_EQ(log.back(), "capture_devices total=1 with_video=1");

  // Nothing attached: the warm-up runs out first.
  install({{"devices", json::array()}}, {{"timeScale", 0.01}});
  a = capture("short");
  EXPECT_EQ(a.status, 2);
  log = take_log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "warmup_exhausted still_empty_after_ms=3000");
  EXPECT_EQ(log[log.size() - 2], "capture_device_missing id=short");
}

TEST_F(Capture, InputFailureIsStatusThreeWithOrWithoutADescription) {
  install({{"devices", {ana({{"inputError", "The device is locked."}})}}});
  Answer a = capture();
  EXPECT_EQ(a.status, 3);
  EXPECT_EQ(a.error, "The device is locked.");
  EXPECT_EQ(take_log().back(), "capture_input_failed error=The device is locked.");

  install({{"devices", {ana({{"inputFails", true}})}}});
  a = capture();
  EXPECT_EQ(a.status, 3);
  EXPECT_EQ(a.error, "Could not open device");
  EXPECT_EQ(take_log().back(), "capture_input_failed error=unknown");
}

TEST_F(Capture, SessionRefusalsAreStatusesFourAndFive) {
  install({{"devices", {ana({{"refuseInput", true}})}}});
  long live = settled_live();
  Answer a = capture();
  EXPECT_EQ(a.status, 4);
  EXPECT_EQ(a.error, "Device input was rejected by the capture session");
  EXPECT_EQ(take_log().back(), "scan source=notification returned=0 muxed_new=0");
  expect_nothing_left(live);

  install({{"devices", {ana({{"refuseOutput", true}})}}});
  live = settled_live();
  a = capture();
  EXPECT_EQ(a.status, 5);
  EXPECT_EQ(a.error, "Video output was rejected by the capture session");
  EXPECT_EQ(take_log().back(), "scan source=notification returned=0 muxed_new=0");
  expect_nothing_left(live);
}

TEST_F(Capture, NoFrameWithinTheWaitIsStatusSixAfterTheSessionStopped) {
  install({{"devices", {ana({{"frame", nullptr}})}}}, {{"timeScale", 0.02}});
  long live = settled_live();
  auto start = std::chrono::steady_clock::now();
  Answer a = capture();
  EXPECT_GE(seconds_since(start), 5 * 0.02 * 0.95);
  EXPECT_EQ(a.status, 6);
  EXPECT_EQ(a.error, "No frames arrived. The device may be locked, or capture trust may have been revoked.");
  Lines log = take_log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], kStarting);
  EXPECT_EQ(log.back(), "capture_no_frames id=00008110");
  expect_nothing_left(live);

  // A frame that comes too late is the same, and lands in a grabber kept alive for it.
  install({{"devices", {ana({{"frame", {{"width", 2}, {"height", 2}, {"delayMs", 8000}}}})}}}, {{"timeScale", 0.02}});
  live = settled_live();
  a = capture();
  EXPECT_EQ(a.status, 6);
  expect_nothing_left(live);
}

TEST_F(Capture, EncodingFailuresAreStatusSeven) {
  install({{"devices", {ana({{"renderFails", true}, {"frame", {{"width", 8}, {"height", 6}}}})}}});
  Answer a = capture();
  EXPECT_EQ(a.status, 7);
  EXPECT_EQ(a.error, "Could not encode the captured frame");
  EXPECT_EQ(a.width, 0u);
  EXPECT_EQ(take_log().back(), kStarting);

  // Rendered, then not encoded: the size is already known.
  install({{"devices", {ana({{"encodeFails", true}, {"frame", {{"width", 8}, {"height", 6}}}})}}});
  a = capture();
  EXPECT_EQ(a.status, 7);
  EXPECT_EQ(a.width, 8u);
  EXPECT_EQ(a.height, 6u);
  EXPECT_FALSE(a.png_set);
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

TEST_F(Capture, CameraAccessIsRequestedWhenNeverAsked) {
  struct Case {
    json request;
    int32_t status;
    std::string result_line;
  };
  const std::vector<Case> cases = {
      {{{"granted", true}, {"delayMs", 100}}, 0, "camera_access_result granted=yes"},
      {{{"granted", false}, {"deliver", "sync"}}, 8, "camera_access_result granted=no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request.dump());
    install({{"devices", {ana({{"frame", {{"width", 2}, {"height", 2}}}})}},
             {"camera", {{"status", 0}, {"request", c.request}}}});
    long requests = fake::phone_calls().access_requests;
    Answer a = capture();
    EXPECT_EQ(a.status, c.status);
    EXPECT_EQ(fake::phone_calls().access_requests - requests, 1);
    Lines log = take_log();
    EXPECT_EQ(log[0], kBegin + "not_determined");
    auto at = std::find(log.begin(), log.end(), "camera_access_requesting");
    ASSERT_NE(at, log.end());
    ASSERT_NE(at + 1, log.end());
    EXPECT_EQ(*(at + 1), c.result_line);
    if (c.status == 8) {
      EXPECT_EQ(a.error, kCameraText);
      EXPECT_EQ(at + 2, log.end());
    }
  }
}

TEST_F(Capture, UnansweredCameraPromptTimesOut) {
  for (const char* how : {"never", "late"}) {
    SCOPED_TRACE(how);
    // 60 s scaled to 0.3 s; the late answer comes at 0.6 s, after the call returned.
    json request = std::string(how) == "never" ? json{{"granted", true}, {"deliver", "never"}}
                                               : json{{"granted", true}, {"delayMs", 120000}};
    install({{"devices", {ana()}}, {"camera", {{"status", 0}, {"request", request}}}}, {{"timeScale", 0.005}});
    long created = fake::phone_calls().sessions_created;
    auto start = std::chrono::steady_clock::now();
    Answer a = capture();
    EXPECT_GE(seconds_since(start), 60 * 0.005 * 0.95);
    EXPECT_EQ(a.status, 8);
    EXPECT_EQ(a.error, kCameraText);
    Lines log = take_log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "camera_access_requesting");
    EXPECT_EQ(log.back(), "camera_access_timed_out");
    EXPECT_EQ(fake::phone_calls().sessions_created, created);
    if (std::string(how) == "late") {  // the answer lands after the call is gone
      EXPECT_TRUE(eventually([] { return fake::phone_world()->camera_status == 3; }));
    }
  }
}

TEST_F(Capture, DeniedOrRestrictedAccessBuildsNoSession) {
  for (auto [status, name] : {std::pair<int, const char*>{2, "denied"}, {1, "restricted"}, {7, "unknown"}}) {
    install({{"devices", {ana()}}, {"camera", {{"status", status}}}});
    long created = fake::phone_calls().sessions_created;
    long requests = fake::phone_calls().access_requests;
    Answer a = capture();
    EXPECT_EQ(a.status, 8);
    EXPECT_EQ(a.error, kCameraText);
    Lines log = take_log();
    EXPECT_EQ(log.front(), kBegin + name);
    EXPECT_EQ(log.back(), std::string("camera_access_blocked status=") + name);
    EXPECT_EQ(fake::phone_calls().sessions_created, created);
    EXPECT_EQ(fake::phone_calls().access_requests, requests);
  }
}

TEST_F(Capture, StepRefusesANulInTheIdBeforeAnyNativeWork) {
  install({{"devices", {ana()}}});
  long writes = fake::phone_calls().property_writes;
  auto result = capture_ios_device_step(std::string("0000\0" "8110", 9));
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().reason, "Device id contained a null byte");
  EXPECT_EQ(result.error().status, Status::GenericFailure);
  EXPECT_TRUE(take_log().empty());
  EXPECT_EQ(fake::phone_calls().property_writes, writes);
}

TEST_F(Capture, StepFailsWithTheNativeTextOrTheStatus) {
  install({{"devices", {ana({{"refuseInput", true}})}}});
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
