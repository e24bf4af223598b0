// Listing connected phones and the USB census: the loud and quiet paths, the
// diagnosis of a locked phone, and the worker side's reading of the list.
#include "phone_fixture.h"

namespace deskcap::phone_test {
namespace {

const std::string kId = "00008110-001E30D02E38802E";

json apple_usb_phone() {
  return {{"idVendor", 1452}, {"idProduct", 4776}, {"USB Product Name", "iPhone"},
          {"bNumConfigurations", 4}, {"bConfigurationValue", 4}};
}

json hub() { return {{"idVendor", 0x1d6b}, {"idProduct", 3}, {"USB Product Name", "xHCI Host Controller"}}; }

json listed(char* text) {
  EXPECT_NE(text, nullptr);
  if (text == nullptr) return nullptr;
  json value = json::parse(text);
  native_free(text);
  return value;
}

const std::string kListBegin = "list_begin camera_authorization=authorized os=Version 14.5 (Build 23F79)";
const std::string kPhoneDump = "capture_device name=Ana's iPhone type=AVCaptureDeviceTypeExternal media=muxed "
                               "model_id=iPhone15,2 unique_id=" + kId;

using Listing = PhoneTest;

TEST_F(Listing, RepeatedListingsOfAnUnchangedPhoneGoQuiet) {
  install({{"devices", {phone(kId, "Ana's iPhone"), phone("late", "Late", {{"sources", json::array()}})}},
           {"usb", {{"services", {apple_usb_phone(), hub()}}}}});
  const json expected = json::array(
      {{{"uniqueId", kId}, {"name", "Ana's iPhone"}, {"modelId", "iPhone15,2"}, {"width", 1179}, {"height", 2556}}});
  const Lines usb_lines = {"usb_apple_device name=iPhone vendor=0x05ac product=0x12a8 configs=4 active=4",
                           "usb_scan total=2 apple=1"};
  const Lines diagnostics = {"list_found count=1 allow_screen_capture_flag=1", kPhoneDump,
                             "capture_devices total=1 with_video=1",
                             "list_device id=00008110 model_id=iPhone15,2 1179x2556"};

  EXPECT_EQ(listed(ios_list_devices()), expected);
  EXPECT_EQ(take_log(), concat({{"watching_for_devices", kListBegin}, usb_lines, {"enable_ok"},
                                scan_lines({{1, 1}, {1, 0}, {1, 0}, {1, 0}, {1, 0}}), diagnostics}));

  EXPECT_EQ(listed(ios_list_devices()), expected);
  EXPECT_EQ(take_log(), diagnostics);

  EXPECT_EQ(listed(ios_list_devices()), expected);
  EXPECT_TRUE(take_log().empty());

  // A device reported by the watch changes what the system shows: loud again.
  ASSERT_TRUE(fake::post_device_notification(true, "late"));
  json both = listed(ios_list_devices());
  ASSERT_EQ(both.size(), 2u);
  EXPECT_EQ(both[1]["uniqueId"], "late");
  EXPECT_EQ(take_log(),
            concat({{"device_connected name=Late media=muxed type=AVCaptureDeviceTypeExternal model_id=iPhone15,2",
                     kListBegin},
                    usb_lines, scan_lines({{1, 1}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 1}}),
                    {"list_found count=2 allow_screen_capture_flag=1", kPhoneDump,
                     "capture_devices total=1 with_video=1", "list_device id=00008110 model_id=iPhone15,2 1179x2556",
                     "list_device id=late model_id=iPhone15,2 1179x2556"}}));
}

TEST_F(Listing, LockedPhoneIsOnUsbButNotACaptureDevice) {
  install({{"devices", {webcam()}}, {"usb", {{"services", {apple_usb_phone()}}}}}, {{"timeScale", 0.01}});
  EXPECT_EQ(listed(ios_list_devices()), json::array());
  EXPECT_EQ(take_log(),
            concat({{"watching_for_devices", kListBegin,
                     "usb_apple_device name=iPhone vendor=0x05ac product=0x12a8 configs=4 active=4",
                     "usb_scan total=1 apple=1", "enable_ok"},
                    scan_lines({{0, 0}, {1, 0}, {0, 0}, {1, 0}}),
                    {"warmup_exhausted still_empty_after_ms=3000", "list_found count=0 allow_screen_capture_flag=1",
                     "capture_device name=FaceTime HD Camera type=AVCaptureDeviceTypeBuiltInWideAngleCamera "
                     "media=video model_id=UVC Camera VendorID_1452 unique_id=0x1420000005ac8600",
                     "capture_devices total=1 with_video=1",
                     "diagnosis apple_on_usb=1 but_no_screen_device=yes likely=not_trusted_or_locked"}}));

  EXPECT_EQ(count_usb_apple_devices(), 1u);
  EXPECT_EQ(usb_apple_device_count_step(), 1u);
  EXPECT_EQ(listed(ios_list_devices()), json::array());
  EXPECT_TRUE(take_log().empty());
}

TEST_F(Listing, FailedEnableAnswersAnEmptyList) {
  install({{"devices", {webcam()}}, {"screenCaptureProperty", {{"setStatus", -1}}}});
  EXPECT_EQ(listed(ios_list_devices()), json::array());
  EXPECT_EQ(take_log(), (Lines{"watching_for_devices", kListBegin, "usb_scan total=0 apple=0", "enable_failed status=-1",
                               "capture_device name=FaceTime HD Camera type=AVCaptureDeviceTypeBuiltInWideAngleCamera "
                               "media=video model_id=UVC Camera VendorID_1452 unique_id=0x1420000005ac8600",
                               "capture_devices total=1 with_video=1"}));
  // Quiet: the failure alone.
  EXPECT_EQ(listed(ios_list_devices()), json::array());
  EXPECT_EQ(take_log(), Lines{"enable_failed status=-1"});
}

TEST_F(Listing, UsbCensusCountsEveryAppleVendorDevice) {
  install({{"usb",
            {{"services",
              {apple_usb_phone(), hub(), {{"idVendor", 1452}},
               {{"idVendor", "1452"}, {"USB Product Name", ""}, {"idProduct", 0x8600}},
               {{"class", "IOUSBDevice"}, {"idVendor", 1452}}, {{"idProduct", 4776}}}}}}});
  EXPECT_EQ(count_usb_apple_devices(), 3u);
  EXPECT_TRUE(take_log().empty());
  EXPECT_EQ(phone::scan_usb_devices(true), 3u);
  EXPECT_EQ(take_log(), (Lines{"usb_apple_device name=iPhone vendor=0x05ac product=0x12a8 configs=4 active=4",
                               "usb_apple_device name=(unnamed) vendor=0x05ac product=0x0000 configs=? active=?",
                               "usb_apple_device name=(unnamed) vendor=0x05ac product=0x8600 configs=? active=?",
                               "usb_scan total=5 apple=3"}));
}

TEST_F(Listing, FailedUsbQueryCountsNothingAndSaysSoEvenQuietly) {
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
  const auto& d = devices.value();
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].unique_id, "a");
  EXPECT_EQ(d[0].name, "A");
  EXPECT_EQ(d[0].model_id, "iPad8,1");
  EXPECT_EQ(d[0].width, 2048u);
  EXPECT_EQ(d[0].height, 2732u);
  EXPECT_EQ(d[1].unique_id, "b");
  EXPECT_EQ(d[1].name, "");
  EXPECT_EQ(d[1].width, 0u);
  EXPECT_EQ(d[1].height, 0u);
  EXPECT_EQ(d[2].model_id, "");
  EXPECT_EQ(d[2].width, 5u);  // the low 32 bits
  EXPECT_EQ(d[2].height, 0u);

  ASSERT_TRUE(read("[]").ok());
  EXPECT_TRUE(read(" [ ] \n").value().empty());

  auto not_array = read(R"({"uniqueId":"a"})");
  ASSERT_FALSE(not_array.ok());
  EXPECT_EQ(not_array.error().reason, "Device list was not an array");
  EXPECT_EQ(not_array.error().status, Status::GenericFailure);

  auto malformed = read(R"([{"uniqueId":"a"}] x)");
  ASSERT_FALSE(malformed.ok());
  EXPECT_EQ(malformed.error().reason.rfind("Malformed device list: ", 0), 0u) << malformed.error().reason;
  EXPECT_GT(malformed.error().reason.size(), std::string("Malformed device list: ").size());

  auto none = phone::read_device_list(std::nullopt);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().reason, "Could not enumerate connected devices");
}

TEST_F(Listing, StepRejectsAListThatCouldNotBeCopied) {
  // With enabling refused the answer is "[]" at once; its 3-byte copy fails.
  install({{"screenCaptureProperty", {{"setStatus", -1}}}}, {{"allocation", {{"failSizes", {3u}}}}});
  auto result = list_ios_devices_step();
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().reason, "Could not enumerate connected devices");

  install({{"screenCaptureProperty", {{"setStatus", -1}}}});
  auto empty = list_ios_devices_step();
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty.value().empty());
}

TEST_F(Listing, StepListsThePhone) {
  // A nil modelID, which only a lenient world can script.
  install({{"devices", {phone(kId, "Ana's iPhone", {{"modelId", json()}})}}}, {{"lenient", true}});
  auto result = list_ios_devices_step();
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(result.value().size(), 1u);
  const IosDevice& d = result.value()[0];
  EXPECT_EQ(d.unique_id, kId);
  EXPECT_EQ(d.name, "Ana's iPhone");
  EXPECT_EQ(d.model_id, "");
  EXPECT_EQ(d.width, 1179u);
  EXPECT_EQ(d.height, 2556u);
}

}  // namespace
}  // namespace deskcap::phone_test
