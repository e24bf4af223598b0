// One frame of a connected phone: every status with its text and log lines,
// camera access, and the worker side's reading of the answer.
#include <algorithm>

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
  std::optional<std::vector<uint8_t>> png;
  uint32_t width = 0, height = 0;
  std::optional<std::string> error;
};

Answer capture(const std::string& id = kId) {
  Answer a;
  uint8_t* png = reinterpret_cast<uint8_t*>(&a);  // must be overwritten with NULL
  size_t len = 99;
  char* error = reinterpret_cast<char*>(&a);
  a.status = ios_capture_device(id.c_str(), &png, &len, &a.width, &a.height, &error);
  if (png != nullptr) a.png.emplace(png, png + len);
  if (error != nullptr) a.error = std::string(error);
  native_free(png);
  native_free(error);
  return a;
}

json ana(json capture_spec = json::object()) { return phone(kId, "Ana's iPhone", {{"capture", std::move(capture_spec)}}); }
json with_ana(json capture_spec = json::object()) { return {{"devices", {ana(std::move(capture_spec))}}}; }

class Capture : public PhoneTest {
 protected:
  // Installs, then counts the objects alive once the threads of earlier
  // captures (a frame delivered just before its call returned) let theirs go.
  void install_counted(json phone_section, double time_scale = 1) {
    install(std::move(phone_section), {{"timeScale", time_scale}});
    live_ = fake::live_objects();
    auto stable_since = std::chrono::steady_clock::now(), give_up = stable_since + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() - stable_since < std::chrono::milliseconds(100) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (long now = fake::live_objects(); now != live_) live_ = now, stable_since = std::chrono::steady_clock::now();
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
  json frames = {{"width", 40}, {"height", 30}, {"count", 5}, {"deliver", "sync"}};
  install_counted({{"devices", {webcam(), ana({{"frame", frames}})}}});
  Answer a = capture();
  ASSERT_EQ(a.status, 0) << a.error.value_or("");
  EXPECT_FALSE(a.error);
  ASSERT_TRUE(a.png);
  EXPECT_EQ(std::make_pair(a.width, a.height), std::make_pair(40u, 30u));
  Lines log = take_log();
  EXPECT_EQ(log.front(), kBegin + "authorized");
  EXPECT_EQ(log.back(), "capture_ok id=00008110 40x30 bytes=" + std::to_string(a.png->size()));
  // Only the first line shows the whole id.
  for (size_t i = 1; i < log.size(); ++i) EXPECT_EQ(log[i].find(kId), std::string::npos) << log[i];
  expect_nothing_left();

  // The worker side hands over the same picture.
  auto step = capture_ios_device_step(kId);
  ASSERT_TRUE(step.ok()) << step.error().reason;
  EXPECT_EQ(step.value().png, *a.png);
  EXPECT_EQ(std::make_pair(step.value().width, step.value().height), std::make_pair(40u, 30u));
}

TEST_F(Capture, EveryFailingStatusWithItsTextAndLastLogLine) {
  const char* kNoFrames = "No frames arrived. The device may be locked, or capture trust may have been revoked.";
  const char* kRefused = " was rejected by the capture session";
  const json small = {{"width", 8}, {"height", 6}};
  auto camera = [](int status) { return json{{"devices", {ana()}}, {"camera", {{"status", status}}}}; };
  struct Row {
    json phone;
    double time_scale;
    std::string id;
    int32_t status;
    std::string error, authorization, last_line;
  };
  const Row rows[] = {
      {{{"devices", {ana()}}, {"screenCaptureProperty", {{"setStatus", -12}}}}, 1, kId, 1,
       "Could not enable device screen capture", "authorized", "enable_failed status=-12"},
      // Begins like the phone's id, but is not it; the device dump follows.
      {with_ana(), 0.01, "00008110-001E", 2, "Device is no longer connected", "authorized",
       "capture_devices total=1 with_video=1"},
      {with_ana({{"inputError", "The device is locked."}}), 1, kId, 3, "The device is locked.", "authorized",
       "capture_input_failed error=The device is locked."},
      {with_ana({{"inputFails", true}}), 1, kId, 3, "Could not open device", "authorized",
       "capture_input_failed error=unknown"},
      {with_ana({{"refuseInput", true}}), 1, kId, 4, std::string("Device input") + kRefused, "authorized",
       "scan source=notification returned=0 muxed_new=0"},
      {with_ana({{"refuseOutput", true}}), 1, kId, 5, std::string("Video output") + kRefused, "authorized",
       "scan source=notification returned=0 muxed_new=0"},
      {with_ana({{"frame", nullptr}}), 0.02, kId, 6, kNoFrames, "authorized", "capture_no_frames id=00008110"},
      // A frame that comes too late lands in a grabber kept alive for it.
      {with_ana({{"frame", {{"width", 2}, {"height", 2}, {"delayMs", 8000}}}}), 0.02, kId, 6, kNoFrames, "authorized",
       "capture_no_frames id=00008110"},
      {with_ana({{"renderFails", true}, {"frame", small}}), 1, kId, 7, "Could not encode the captured frame",
       "authorized", kStarting},
      {with_ana({{"encodeFails", true}, {"frame", small}}), 1, kId, 7, "Could not encode the captured frame",
       "authorized", kStarting},
      // Denied, restricted or unknown camera access builds no session and asks nothing.
      {camera(2), 1, kId, IOS_CAPTURE_CAMERA_REFUSED, kCameraText, "denied", "camera_access_blocked status=denied"},
      {camera(1), 1, kId, IOS_CAPTURE_CAMERA_REFUSED, kCameraText, "restricted", "camera_access_blocked status=restricted"},
      {camera(7), 1, kId, IOS_CAPTURE_CAMERA_REFUSED, kCameraText, "unknown", "camera_access_blocked status=unknown"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.phone.dump());
    install_counted(row.phone, row.time_scale);
    auto before = fake::phone_calls();
    Answer a = capture(row.id);
    EXPECT_EQ(std::make_tuple(a.status, a.error, a.png), std::make_tuple(row.status, row.error, std::nullopt));
    Lines log = take_log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), "capture_begin unique_id=" + row.id + " camera_authorization=" + row.authorization);
    EXPECT_EQ(log.back(), row.last_line);
    if (row.status == 2) { EXPECT_EQ(log[log.size() - 3], "capture_device_missing id=00008110"); }
    if (row.status == 7) {  // rendered, then not encoded: the size is already known
      EXPECT_EQ(a.width, row.phone["devices"][0].at("capture").contains("encodeFails") ? 8u : 0u);
    }
    if (row.status == IOS_CAPTURE_CAMERA_REFUSED) { EXPECT_EQ(fake::phone_calls().sessions_created, before.sessions_created); }
    EXPECT_EQ(fake::phone_calls().access_requests, before.access_requests);
    expect_nothing_left();
  }
  // Nothing attached: the warm-up runs out first.
  install({{"devices", json::array()}}, {{"timeScale", 0.01}});
  EXPECT_EQ(capture("short").status, 2);
  Lines log = take_log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "warmup_exhausted still_empty_after_ms=3000");

  // A PNG whose copy fails is a status and a text of its own.
  install(with_ana({{"frame", {{"width", 64}, {"height", 48}}}}));
  size_t size = capture().png.value_or(std::vector<uint8_t>()).size();
  ASSERT_GT(size, 0u);
  install(with_ana({{"frame", {{"width", 64}, {"height", 48}}}}), {{"allocation", {{"failSizes", {size}}}}});
  Answer a = capture();
  EXPECT_EQ(std::make_tuple(a.status, a.error, a.png),
            std::make_tuple(int32_t{IOS_CAPTURE_OUT_OF_MEMORY}, std::optional<std::string>("Ran out of memory encoding the captured frame"), std::nullopt));
  EXPECT_EQ(take_log().back(), kStarting);
}

TEST_F(Capture, CameraAccessIsRequestedWhenNeverAskedAndTimesOutUnanswered) {
  // Timed out: 60 s scaled to 0.3 s; the late answer comes at 0.6 s, after the call returned.
  const std::tuple<json, double, int32_t, std::string> cases[] = {
      {{{"granted", true}, {"delayMs", 100}}, 1, 0, "camera_access_result granted=yes"},
      {{{"granted", false}, {"deliver", "sync"}}, 1, IOS_CAPTURE_CAMERA_REFUSED, "camera_access_result granted=no"},
      {{{"granted", true}, {"deliver", "never"}}, 0.005, IOS_CAPTURE_CAMERA_REFUSED, "camera_access_timed_out"},
      {{{"granted", true}, {"delayMs", 120000}}, 0.005, IOS_CAPTURE_CAMERA_REFUSED, "camera_access_timed_out"},
  };
  for (const auto& [request, time_scale, status, after_requesting] : cases) {
    SCOPED_TRACE(request.dump());
    json world = with_ana({{"frame", {{"width", 2}, {"height", 2}}}});
    world["camera"] = {{"status", 0}, {"request", request}};
    install_counted(world, time_scale);
    auto before = fake::phone_calls();
    Answer a = capture();
    EXPECT_EQ(a.status, status);
    EXPECT_EQ(fake::phone_calls().access_requests - before.access_requests, 1);
    Lines log = take_log();
    EXPECT_EQ(log[0], kBegin + "not_determined");
    auto at = std::find(log.begin(), log.end(), "camera_access_requesting");
    ASSERT_NE(at, log.end());
    ASSERT_NE(at + 1, log.end());
    EXPECT_EQ(at[1], after_requesting);
    if (status == IOS_CAPTURE_CAMERA_REFUSED) {
      EXPECT_EQ(a.error, kCameraText);
      EXPECT_EQ(at + 2, log.end());
      EXPECT_EQ(fake::phone_calls().sessions_created, before.sessions_created);
    }
    if (request.contains("delayMs") && status == IOS_CAPTURE_CAMERA_REFUSED) {  // the answer lands after the call is gone
      EXPECT_TRUE(eventually([] { return fake::phone_world()->camera_status == 3; }));
    }
    if (request.value("deliver", "") != "never") expect_nothing_left();
  }
}

TEST_F(Capture, StepRefusesANulBeforeAnyNativeWorkAndFailsWithTheNativeTextOrTheStatus) {
  install(with_ana({{"refuseInput", true}}));
  long writes = fake::phone_calls().property_writes;
  auto nul = capture_ios_device_step(std::string("0000\0" "8110", 9));
  ASSERT_FALSE(nul.ok());
  EXPECT_EQ(nul.error().reason, "Device id contained a null byte");
  EXPECT_TRUE(take_log().empty());
  EXPECT_EQ(fake::phone_calls().property_writes, writes);

  auto refused = capture_ios_device_step(kId);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().reason, "Device input was rejected by the capture session");
  EXPECT_EQ(refused.error().status, Status::GenericFailure);

  // The error text's own copy fails (48 bytes and a NUL): only the status is left to tell.
  install(with_ana({{"refuseInput", true}}), {{"allocation", {{"failSizes", {49u}}}}});
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
