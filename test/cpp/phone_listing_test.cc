// Listing connected phones and the USB census: the loud and quiet paths, the
// diagnosis of a locked phone, and the worker side's reading of the list.
#include <algorithm>

#include "phone_fixture.h"

namespace deskcap::phone_test {
namespace {

const std::string kId = "00008110-001E30D02E38802E";

json apple_usb_phone() {
  return {{"idVendor", 1452}, {"idProduct", 4776}, {"USB Product Name", "iPhone"},
          {"bNumConfigurations", 4}, {"bConfigurationValue", 4}};
}

json hub() { return {{"idVendor", 0x1d6b}, {"idProduct", 3}, {"USB Product Name", "xHCI Host Controller"}}; }

json listed() {
  std::unique_ptr<char, decltype(&native_free)> text(ios_list_devices(), &native_free);
  return text ? json::parse(text.get()) : json("NULL");
}

bool has(const Lines& log, const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); }

using Listing = PhoneTest;

TEST_F(Listing, RepeatedListingsOfAnUnchangedPhoneGoQuiet) {
  install({{"devices", {phone(kId, "Ana's iPhone"), phone("late", "Late", {{"sources", json::array()}})}},
           {"usb", {{"services", {apple_usb_phone(), hub()}}}}});
  const json expected = json::array(
      {{{"uniqueId", kId}, {"name", "Ana's iPhone"}, {"modelId", "iPhone15,2"}, {"width", 1179}, {"height", 2556}}});

  EXPECT_EQ(listed(), expected);
  Lines first = take_log();
  EXPECT_TRUE(has(first, "list_begin camera_authorization=authorized os=Version 14.5 (Build 23F79)"));
  EXPECT_TRUE(has(first, "usb_scan total=2 apple=1"));
  EXPECT_EQ(first.back(), "list_device id=00008110 model_id=iPhone15,2 1179x2556");

  // The landscape is unchanged: only the found devices are described again, then nothing.
  EXPECT_EQ(listed(), expected);
  Lines second = take_log();
  EXPECT_EQ(second.front(), "list_found count=1 allow_screen_capture_flag=1");
  EXPECT_FALSE(has(second, "usb_scan total=2 apple=1"));
  EXPECT_EQ(listed(), expected);
  EXPECT_TRUE(take_log().empty());

  // A device reported by the watch changes what the system shows: loud again.
  ASSERT_TRUE(fake::post_device_notification(true, "late"));
  json both = listed();
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[1]["uniqueId"], "late");
  EXPECT_EQ(take_log().back(), "list_device id=late model_id=iPhone15,2 1179x2556");
}

TEST_F(Listing, LockedPhoneIsOnUsbButNotACaptureDevice) {
  install({{"devices", {webcam()}}, {"usb", {{"services", {apple_usb_phone()}}}}}, {{"timeScale", 0.01}});
  EXPECT_EQ(listed(), json::array());
  EXPECT_EQ(take_log().back(), "diagnosis apple_on_usb=1 but_no_screen_device=yes likely=not_trusted_or_locked");
  EXPECT_EQ(listed(), json::array());
  EXPECT_TRUE(take_log().empty());

  // Nothing of Apple's on USB: nothing to diagnose.
  install({{"devices", {webcam()}}}, {{"timeScale", 0.01}});
  EXPECT_EQ(listed(), json::array());
  EXPECT_EQ(take_log().back(), "capture_devices total=1 with_video=1");
}

TEST_F(Listing, FailedEnableAnswersAnEmptyListOrNothingWhenThatCannotBeCopied) {
  install({{"devices", {webcam()}}, {"screenCaptureProperty", {{"setStatus", -1}}}});
  EXPECT_EQ(listed(), json::array());
  EXPECT_TRUE(has(take_log(), "enable_failed status=-1"));
  // Quiet: the failure alone.
  EXPECT_EQ(listed(), json::array());
  EXPECT_EQ(take_log(), Lines{"enable_failed status=-1"});
  auto empty = list_ios_devices_step();
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty.value().empty());

  // The answer "[]" comes at once; its 3-byte copy fails.
  install({{"screenCaptureProperty", {{"setStatus", -1}}}}, {{"allocation", {{"failSizes", {3u}}}}});
  auto result = list_ios_devices_step();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().reason, "Could not enumerate connected devices");
}

TEST_F(Listing, UsbCensusCountsEveryAppleVendorDeviceOrSaysItsQueryFailed) {
  install({{"usb",
            {{"services",
              {apple_usb_phone(), hub(), {{"idVendor", 1452}},
               {{"idVendor", "1452"}, {"USB Product Name", ""}, {"idProduct", 0x8600}},
               {{"class", "IOUSBDevice"}, {"idVendor", 1452}}, {{"idProduct", 4776}}}}}}});
  EXPECT_EQ(usb_apple_device_count_step(), 3u);
  EXPECT_TRUE(take_log().empty());
  EXPECT_EQ(phone::scan_usb_devices(true), 3u);
  EXPECT_EQ(take_log(), (Lines{"usb_apple_device name=iPhone vendor=0x05ac product=0x12a8 configs=4 active=4",
                               "usb_apple_device name=(unnamed) vendor=0x05ac product=0x0000 configs=? active=?",
                               "usb_apple_device name=(unnamed) vendor=0x05ac product=0x8600 configs=? active=?",
                               "usb_scan total=5 apple=3"}));
  // Even quietly.
  install({{"usb", {{"status", static_cast<int32_t>(0xE00002C9)}, {"services", {apple_usb_phone()}}}}});
  EXPECT_EQ(count_usb_apple_devices(), 0u);
  EXPECT_EQ(take_log(), Lines{"usb_scan_failed status=0xe00002c9"});
}

TEST_F(Listing, WorkerSideReadsTheListLeniently) {
  auto read = [](const char* text) { return phone::read_device_list(std::string(text)); };
  auto devices = read(R"([{"uniqueId":"a","name":"A","modelId":"iPad8,1","width":2048,"height":2732},
      {"name":"no id"},{"uniqueId":""},{"uniqueId":7},"text",null,
      {"uniqueId":"b","name":5,"width":-3,"height":1.5},
      {"uniqueId":"c","modelId":null,"width":4294967301,"height":"12"}])");
  ASSERT_TRUE(devices.ok());
  Lines got;
  for (const auto& d : devices.value())  // a width beyond 32 bits keeps the low 32
    got.push_back(d.unique_id + "|" + d.name + "|" + d.model_id + "|" + std::to_string(d.width) + "x" +
                  std::to_string(d.height));
  EXPECT_EQ(got, (Lines{"a|A|iPad8,1|2048x2732", "b|||0x0", "c|||5x0"}));

  const std::pair<std::optional<std::string>, std::string> failures[] = {
      {R"({"uniqueId":"a"})", "Device list was not an array"},
      {R"([{"uniqueId":"a"}] x)", "Malformed device list: syntax error"},
      {std::nullopt, "Could not enumerate connected devices"},
  };
  for (const auto& [text, reason] : failures) {
    auto r = phone::read_device_list(text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().status, Status::GenericFailure);
    EXPECT_EQ(r.error().reason.rfind(reason, 0), 0u) << r.error().reason;
  }
}

}  // namespace
}  // namespace deskcap::phone_test
