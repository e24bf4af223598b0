// A TCC library that has TCCAccessPreflight but no TCCAccessRequest.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

#include "desktop/desktop_steps.h"
#include "boundary/native.h"
#include "platform/fake/base_world_fake.h"

namespace {

TEST(AudioPermissionWithoutRequest, PreflightStillAnswersAndTheRequestIsUnavailable) {
  deskcap::fake::set_world({{"tcc", {{"library", FAKE_TCC_NO_REQUEST_LIBRARY}}}});
  setenv("FAKE_TCC_PREFLIGHT", "1", 1);
  // Both first calls at once: the one-time load serves both.
  auto request = std::async(std::launch::async, [] { return request_audio_capture_access(); });
  auto status = std::async(std::launch::async, [] { return system_audio_access_status(); });
  EXPECT_EQ(request.get(), -1);
  EXPECT_EQ(status.get(), 1);

  EXPECT_EQ(deskcap::request_system_audio_access_step(), std::nullopt);
  setenv("FAKE_TCC_PREFLIGHT", "0", 1);
  EXPECT_EQ(deskcap::system_audio_access_step(), "granted");
}

}  // namespace
