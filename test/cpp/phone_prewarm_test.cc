// Prewarming: enabling and starting the watch early, with its exact log.
#include "phone_fixture.h"

namespace deskcap::phone_test {
namespace {

using Prewarm = PhoneTest;

TEST_F(Prewarm, FirstEnablesAndStartsTheWatchSecondOnlyScans) {
  install({{"devices", {phone("00008110-001E30D02E38802E", "Ana's iPhone"), webcam()}}});
  prewarm_ios_capture_step();
  EXPECT_EQ(take_log(), concat({{"prewarm_begin", "enable_ok"},
                                scan_lines({{1, 1}, {2, 0}, {1, 0}, {2, 0}, {0, 0}, {0, 0}}),
                                {"watching_for_devices", "prewarm_done allow_flag=1"}}));

  ios_prewarm_capture();
  EXPECT_EQ(take_log(), concat({{"prewarm_begin"}, scan_lines({{1, 1}, {2, 0}, {1, 0}, {2, 0}, {1, 0}, {0, 0}}),
                                {"prewarm_done allow_flag=1"}}));
}

TEST_F(Prewarm, FailuresShowOnlyInTheLog) {
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
