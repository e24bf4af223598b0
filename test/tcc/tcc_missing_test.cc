// No TCC library at all, and no second attempt once the first one failed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "desktop/desktop_steps.h"
#include "boundary/native.h"
#include "platform/fake/base_world_fake.h"

namespace {

TEST(AudioPermissionWithoutFramework, AnswersUnknownAndNullWithoutRetrying) {
  deskcap::fake::set_world({{"tcc", {{"library", "/nonexistent/deskcap/libTCC.so"}}}});
  setenv("FAKE_TCC_PREFLIGHT", "0", 1);
  EXPECT_EQ(system_audio_access_status(), -1);
  EXPECT_EQ(deskcap::system_audio_access_step(), "unknown");
  EXPECT_EQ(request_audio_capture_access(), -1);
  EXPECT_EQ(deskcap::request_system_audio_access_step(), std::nullopt);

  // A library that would answer, once the first load has failed, is not opened.
  deskcap::fake::set_world({{"tcc", {{"library", FAKE_TCC_NO_REQUEST_LIBRARY}}}});
  EXPECT_EQ(deskcap::system_audio_access_step(), "unknown");
}

}  // namespace
