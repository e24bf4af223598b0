// The Linux USB census against a sysfs tree built in a temporary directory, and
// the phone listing Linux answers at once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "boundary/native.h"

namespace {

namespace fs = std::filesystem;

std::string take_log() {
  std::unique_ptr<char, decltype(&native_free)> text(ios_take_log(), &native_free);
  return text ? text.get() : "";
}

class SysfsTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/deskcap-usb-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("DESKCAP_SYSFS_USB_ROOT", root_.c_str(), 1);
    take_log();
  }
  void TearDown() override {
    unsetenv("DESKCAP_SYSFS_USB_ROOT");
    fs::remove_all(root_);
  }
  void device(const std::string& name, const std::map<std::string, std::string>& attributes) {
    fs::create_directories(root_ / name);
    for (const auto& [file, value] : attributes) std::ofstream(root_ / name / file) << value << "\n";
  }
  fs::path root_;
};

TEST_F(SysfsTree, CountsAppleDevicesButNotTheirInterfacesAndListsNoPhones) {
  device("usb1", {{"idVendor", "1d6b"}, {"idProduct", "0002"}, {"product", "xHCI Host Controller"}});
  device("1-1", {{"idVendor", "05ac"}, {"idProduct", "12a8"}, {"product", "iPhone"},
                 {"bNumConfigurations", "4"}, {"bConfigurationValue", "4"}});
  device("1-1:1.0", {{"bInterfaceClass", "06"}});
  device("1-2", {{"idVendor", "05ac"}, {"idProduct", "8600"}, {"bNumConfigurations", "1"},
                 {"bConfigurationValue", ""}});
  device("1-3", {{"idVendor", "046d"}, {"idProduct", "c52b"}});
  EXPECT_EQ(count_usb_apple_devices(), 2u);
  EXPECT_EQ(take_log(), "");

  char* list = ios_list_devices();  // at once: Linux refuses to allow capture devices
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list, "[]");
  native_free(list);
  EXPECT_NE(take_log().find("usb_apple_device name=iPhone vendor=0x05ac product=0x12a8 configs=4 active=4\n"
                            "usb_apple_device name=(unnamed) vendor=0x05ac product=0x8600 configs=1 active=?\n"
                            "usb_scan total=4 apple=2\nenable_failed status=1970171760\n"),
            std::string::npos);
}

TEST_F(SysfsTree, ListingAndPrewarmNeverWaitForCaptureDevices) {
  native_free(ios_list_devices());
  ios_prewarm_capture();
  std::string log = take_log();
  EXPECT_EQ(log.find("warmup"), std::string::npos) << log;
  EXPECT_EQ(log.substr(log.rfind('\n') + 1), "prewarm_done allow_flag=0");
}

TEST_F(SysfsTree, AMissingBusIsNoDevicesAndAnUnreadableRootAFailedQuery) {
  setenv("DESKCAP_SYSFS_USB_ROOT", (root_ / "absent").c_str(), 1);
  EXPECT_EQ(count_usb_apple_devices(), 0u);
  EXPECT_EQ(take_log(), "");

  std::ofstream(root_ / "file") << "not a directory\n";
  setenv("DESKCAP_SYSFS_USB_ROOT", (root_ / "file").c_str(), 1);
  EXPECT_EQ(count_usb_apple_devices(), 0u);
  EXPECT_EQ(take_log(), "usb_scan_failed status=0xe00002bc");
}

}  // namespace
