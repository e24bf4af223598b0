// The permission functions over a real dlopen of the scripted TCC library, opened
// once per process: the other libraries are tried by test/tcc and the JS suite.

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "desktop_worlds.h"
#include "boundary/native.h"

namespace {

class AudioPermission : public ::testing::Test {
 protected:
  void SetUp() override {
    deskcap::fake::set_world({{"tcc", {{"library", FAKE_TCC_LIBRARY}}}});
    for (const char* name : {"FAKE_TCC_PREFLIGHT", "FAKE_TCC_GRANT", "FAKE_TCC_MODE", "FAKE_TCC_DELAY_MS"})
      unsetenv(name);
  }
};

TEST_F(AudioPermission, PreflightCodesBecomeWords) {
  const std::pair<const char*, const char*> cases[] = {
      {"0", "granted"}, {"1", "denied"}, {"2", "not-determined"}, {"3", "unknown"}, {"-2", "unknown"}, {"-1", "unknown"},
      {"4294967296", "unknown"},  // 2^32: the whole 64-bit code is tested
  };
  for (const auto& [code, word] : cases) {
    setenv("FAKE_TCC_PREFLIGHT", code, 1);
    EXPECT_EQ(deskcap::system_audio_access_step(), word) << code;
    EXPECT_EQ(system_audio_access_status(), std::strtoll(code, nullptr, 10));
  }
}

TEST_F(AudioPermission, RequestsAnswerWhatTheCompletionSaidInsideTheRequestOrLater) {
  // A request that never settles would hang the suite: give up loudly instead.
  auto request = [] {
    auto done = std::make_shared<std::promise<std::optional<bool>>>();
    auto answer = done->get_future();
    std::thread([done] { done->set_value(deskcap::request_system_audio_access_step()); }).detach();
    if (answer.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      ADD_FAILURE() << "the request did not settle";
      std::_Exit(1);
    }
    return answer.get();
  };
  setenv("FAKE_TCC_DELAY_MS", "100", 1);
  for (const char* mode : {"sync", "thread"}) {
    setenv("FAKE_TCC_MODE", mode, 1);
    setenv("FAKE_TCC_GRANT", "1", 1);
    EXPECT_EQ(request(), std::optional<bool>(true)) << mode;
    setenv("FAKE_TCC_GRANT", "0", 1);
    EXPECT_EQ(request(), std::optional<bool>(false)) << mode;
    EXPECT_EQ(request_audio_capture_access(), 0);
  }
}

}  // namespace
