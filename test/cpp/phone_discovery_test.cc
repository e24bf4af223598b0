// Discovery: enabling capture devices, the six-source scan, the warm-up, the
// device dump, the device watch, and prewarming.
#include <atomic>

#include "phone_fixture.h"

namespace deskcap::phone_test {
namespace {

std::vector<std::string> ids(const phone::DeviceList& devices) {
  std::vector<std::string> out;
  for (const auto& d : devices) out.push_back(platform::device_unique_id(d.get()));
  return out;
}

using Discovery = PhoneTest;

TEST_F(Discovery, ScanMergesSourcesInOrderOfFirstSightingAndCountsEveryDevice) {
  install({{"devices",
            {phone("phone-a", "A", {{"sources", {"discoveryAny", "deprecatedAll"}}}),
             phone("phone-b", "B", {{"sources", {"discoveryMuxed", "deprecatedMuxed", "deprecatedAll"}}}),
             phone("", "no id", {{"sources", {"discoveryMuxed", "deprecatedMuxed"}}}),
             {{"uniqueId", "mic"}, {"media", {"audio"}}, {"sources", {"discoveryAny", "deprecatedAll"}}},
             webcam()}}});
  EXPECT_EQ(ids(phone::scan_capture_devices(true)), (Lines{"phone-b", "phone-a"}));
  EXPECT_EQ(take_log(), scan_lines({{2, 1}, {3, 1}, {2, 0}, {4, 0}, {0, 0}, {0, 0}}));
  // Quiet scans find the same and say nothing.
  EXPECT_EQ(ids(phone::scan_capture_devices(false)), (Lines{"phone-b", "phone-a"}));
  EXPECT_TRUE(take_log().empty());
}

TEST_F(Discovery, WarmUpRetriesTwelveTimesForAPhoneToAppear) {
  // The first scan is query 1 of the source; retry n is query n + 1.
  const std::tuple<int, bool, Lines> cases[] = {
      {6, true, concat({scan_lines({}), {"devices_appeared_after_warmup attempt=5"}})},
      {6, false, {"devices_appeared_after_warmup attempt=5"}},
      {13, false, {"devices_appeared_after_warmup attempt=12"}},
  };
  for (const auto& [query, verbose, log] : cases) {
    install({{"devices", {phone("late", "Late", {{"sources", {"deprecatedMuxed"}}, {"fromQuery", query}})}}},
            {{"timeScale", 0.01}});
    EXPECT_EQ(ids(phone::warm_up_device_scan(verbose)), Lines{"late"});
    EXPECT_EQ(take_log(), log);
  }
  install({{"devices", {webcam()}}}, {{"timeScale", 0.01}});
  EXPECT_TRUE(phone::warm_up_device_scan(true).empty());
  EXPECT_EQ(take_log(), concat({scan_lines({{0, 0}, {1, 0}, {0, 0}, {1, 0}}),
                                {"warmup_exhausted still_empty_after_ms=3000"}}));
  EXPECT_TRUE(phone::warm_up_device_scan(false).empty());
  EXPECT_TRUE(take_log().empty());
}

TEST_F(Discovery, DeviceDumpNamesVideoAndMuxedDevicesOnly) {
  install({{"devices",
            {phone("00008110-001E30D02E38802E", "Ana's iPhone"),
             {{"uniqueId", "all"}, {"name", "Everything"}, {"media", {"audio", "video", "muxed"}}},
             {{"uniqueId", "mic"}, {"name", "Mic"}, {"media", {"audio"}}},
             {{"uniqueId", "odd"}, {"name", "Odd"}, {"media", json::array()}, {"sources", {"deprecatedAll"}}},
             webcam()}}});
  phone::log_capture_devices();
  EXPECT_EQ(take_log(),
            (Lines{"capture_device name=Ana's iPhone type=AVCaptureDeviceTypeExternal media=muxed "
                   "model_id=iPhone15,2 unique_id=00008110-001E30D02E38802E",
                   "capture_device name=Everything type=AVCaptureDeviceTypeExternal media=muxed+video+audio "
                   "model_id= unique_id=all",
                   "capture_device name=FaceTime HD Camera type=AVCaptureDeviceTypeBuiltInWideAngleCamera "
                   "media=video model_id=UVC Camera VendorID_1452 unique_id=0x1420000005ac8600",
                   "capture_devices total=5 with_video=3"}));
}

TEST_F(Discovery, EnableWritesOnceAndRetriesAfterAFailure) {
  install({{"screenCaptureProperty", {{"setStatus", {-50, 0}}}}});
  long writes = fake::phone_calls().property_writes;
  EXPECT_EQ(phone::allow_screen_capture_flag(), 0u);
  EXPECT_FALSE(phone::enable_screen_capture_devices());
  EXPECT_EQ(take_log(), Lines{"enable_failed status=-50"});
  EXPECT_EQ(phone::allow_screen_capture_flag(), 0u);
  EXPECT_TRUE(phone::enable_screen_capture_devices());
  EXPECT_EQ(take_log(), Lines{"enable_ok"});
  EXPECT_EQ(phone::allow_screen_capture_flag(), 1u);
  EXPECT_TRUE(phone::enable_screen_capture_devices());
  EXPECT_TRUE(take_log().empty());
  EXPECT_EQ(fake::phone_calls().property_writes - writes, 2);

  // Concurrent first enables write the property once.
  install(json::object());
  writes = fake::phone_calls().property_writes;
  std::vector<std::thread> threads;
  std::atomic<int> enabled{0};
  for (int i = 0; i < 8; ++i) threads.emplace_back([&] { enabled += phone::enable_screen_capture_devices() ? 1 : 0; });
  for (auto& t : threads) t.join();
  EXPECT_EQ(enabled.load(), 8);
  EXPECT_EQ(fake::phone_calls().property_writes - writes, 1);
  EXPECT_EQ(take_log(), Lines{"enable_ok"});
}

TEST_F(Discovery, WatchKeepsOneEntryPerConnectedDeviceUntilItsDisconnect) {
  install({{"devices", {phone("phone-a", "A", {{"sources", json::array()}}), webcam()}}});
  phone::start_device_watch();
  phone::start_device_watch();
  EXPECT_EQ(take_log(), Lines{"watching_for_devices"});

  ASSERT_TRUE(fake::post_device_notification(true, "phone-a"));
  ASSERT_TRUE(fake::post_device_notification(true, "phone-a"));
  ASSERT_TRUE(fake::post_device_notification(true, "0x1420000005ac8600"));
  EXPECT_EQ(ids(phone::known_devices()), Lines{"phone-a"});
  // Seen only by the notification, the phone is still found by a scan.
  EXPECT_EQ(ids(phone::scan_capture_devices(false)), Lines{"phone-a"});

  ASSERT_TRUE(fake::post_device_notification(false, "phone-a"));
  EXPECT_TRUE(phone::known_devices().empty());
  const std::string connected = "device_connected name=A media=muxed type=AVCaptureDeviceTypeExternal "
                                "model_id=iPhone15,2";
  EXPECT_EQ(take_log(), (Lines{connected, connected,
                               "device_connected name=FaceTime HD Camera media=video "
                               "type=AVCaptureDeviceTypeBuiltInWideAngleCamera model_id=UVC Camera VendorID_1452",
                               "device_disconnected name=A"}));
}

TEST_F(Discovery, NotificationsRacingWithScansAndListingsLeaveAConsistentList) {
  json devices = json::array();
  for (int i = 0; i < 4; ++i) devices.push_back(phone("phone-" + std::to_string(i), "P", {{"sources", json::array()}}));
  install({{"devices", devices}}, {{"timeScale", 0.001}});
  phone::start_device_watch();

  std::atomic<bool> stop{false};
  std::vector<std::thread> posters;
  for (int t = 0; t < 2; ++t)
    posters.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        std::string id = "phone-" + std::to_string((round + t) % 4);
        fake::post_device_notification(true, id);
        fake::post_device_notification(false, id);
      }
    });
  std::thread reader([&] {
    while (!stop) {
      native_free(ios_list_devices());
      phone::scan_capture_devices(false);
    }
  });
  for (auto& p : posters) p.join();
  stop = true;
  reader.join();
  // The other thread may have reconnected a device after its disconnect: settle by disconnecting all.
  for (int i = 0; i < 4; ++i) fake::post_device_notification(false, "phone-" + std::to_string(i));
  EXPECT_TRUE(phone::known_devices().empty());
}

TEST_F(Discovery, PrewarmFirstEnablesAndStartsTheWatchSecondOnlyScans) {
  install({{"devices", {phone("00008110-001E30D02E38802E", "Ana's iPhone"), webcam()}}});
  prewarm_ios_capture_step();
  EXPECT_EQ(take_log(), concat({{"prewarm_begin", "enable_ok"},
                                scan_lines({{1, 1}, {2, 0}, {1, 0}, {2, 0}, {0, 0}, {0, 0}}),
                                {"watching_for_devices", "prewarm_done allow_flag=1"}}));

  ios_prewarm_capture();
  EXPECT_EQ(take_log(), concat({{"prewarm_begin"}, scan_lines({{1, 1}, {2, 0}, {1, 0}, {2, 0}, {1, 0}, {0, 0}}),
                                {"prewarm_done allow_flag=1"}}));
}

TEST_F(Discovery, PrewarmFailuresShowOnlyInTheLog) {
  install({{"screenCaptureProperty", {{"setStatus", -1}}}});
  ios_prewarm_capture();
  EXPECT_EQ(take_log(), concat({{"prewarm_begin", "enable_failed status=-1"}, scan_lines({}),
                                {"watching_for_devices", "prewarm_done allow_flag=0"}}));

  install({{"screenCaptureProperty", {{"getStatus", -1}}}});
  ios_prewarm_capture();
  EXPECT_EQ(take_log().back(), "prewarm_done allow_flag=4294967295");
}

}  // namespace
}  // namespace deskcap::phone_test
