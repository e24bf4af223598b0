// CoreAudio property listeners against a private pulseaudio with one silent
// source, and real recording clients (parec): each listener reads the
// process list through the seam, as its callee does, and the test waits for
// a call that saw what the clients did.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "linux_processes.h"
#include "platform/linux/pulse_server_linux.h"
#include "platform/platform.h"

namespace {

namespace platform = deskcap::platform;
namespace coreaudio = platform::coreaudio;
using linux_test::Calls;
using linux_test::Child;

constexpr platform::PropertyAddress kProcesses{coreaudio::kProcessObjectList, coreaudio::kScopeGlobal,
                                               coreaudio::kElementMain};
constexpr platform::PropertyAddress kRunning{coreaudio::kIsRunningInput, coreaudio::kScopeGlobal,
                                             coreaudio::kElementMain};

struct Seen {
  uint32_t object = 0, selector = 0;
  std::vector<uint32_t> pids;  // of the process list as read in the call
};

std::vector<uint32_t> process_pids() {
  std::vector<uint32_t> pids;
  if (!platform::audio_object_has_property(coreaudio::kSystemObject, kProcesses)) return pids;
  uint32_t size = 0;
  platform::audio_object_get_property_data_size(coreaudio::kSystemObject, kProcesses, &size);
  std::vector<uint32_t> objects(size / 4);
  platform::audio_object_get_property_data(coreaudio::kSystemObject, kProcesses, &size, objects.data());
  for (uint32_t object : objects) {
    uint32_t pid = 0, bytes = 4;
    platform::PropertyAddress address{coreaudio::kProcessPid, coreaudio::kScopeGlobal, coreaudio::kElementMain};
    if (platform::audio_object_get_property_data(object, address, &bytes, &pid) == 0) pids.push_back(pid);
  }
  return pids;
}

void record(uint32_t object, const platform::PropertyAddress& address, void* context) {
  static_cast<Calls<Seen>*>(context)->record(Seen{object, address.selector, process_pids()});
}

class ProcessWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!linux_test::installed("pulseaudio") || !linux_test::installed("parec"))
      GTEST_SKIP() << "pulseaudio or parec is not installed";
    char dir[] = "/tmp/deskcap-pulse-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    // The server and its clients (this process too) keep their state here.
    setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir_ + "/pulse.sock").c_str(), 1);
  }
  void TearDown() override {
    for (auto& [object, address, calls] : registered_)
      platform::audio_object_remove_listener(object, address, record, calls.get());
    clients_.clear();
    server_.reset();
    if (!dir_.empty()) linux_test::run({"rm", "-rf", dir_});
  }

  void start_server() {
    server_ = std::make_unique<Child>(std::vector<std::string>{
        "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
        "module-native-protocol-unix socket=" + dir_ + "/pulse.sock auth-anonymous=1", "-L",
        "module-null-source source_name=mic"});
    ASSERT_TRUE(linux_test::eventually(
        [&] { return deskcap::linux_backend::pulse::recording_streams().has_value() || !server_->running(); }));
    ASSERT_TRUE(server_->running()) << "pulseaudio did not start";
  }

  // A recording client; answers its pid once its stream is listed.
  uint32_t start_recording() {
    clients_.push_back(std::make_unique<Child>(std::vector<std::string>{"parec", "-d", "mic"}));
    auto pid = static_cast<uint32_t>(clients_.back()->pid());
    EXPECT_TRUE(linux_test::eventually([&] {
      auto streams = deskcap::linux_backend::pulse::recording_streams();
      if (streams)
        for (const auto& s : *streams)
          if (s.pid == pid) return true;
      return false;
    }));
    return pid;
  }

  Calls<Seen>* listen(uint32_t object, const platform::PropertyAddress& address) {
    registered_.push_back({object, address, std::make_unique<Calls<Seen>>()});
    Calls<Seen>* calls = std::get<2>(registered_.back()).get();
    EXPECT_EQ(platform::audio_object_add_listener(object, address, record, calls), 0);
    return calls;
  }
  static bool saw(Calls<Seen>& calls, size_t from, const std::vector<uint32_t>& pids) {
    return calls.wait_for(from, [&](const Seen& s) { return s.pids == pids; });
  }

  std::string dir_;
  std::unique_ptr<Child> server_;
  std::vector<std::unique_ptr<Child>> clients_;
  std::vector<std::tuple<uint32_t, platform::PropertyAddress, std::unique_ptr<Calls<Seen>>>> registered_;
};

TEST_F(ProcessWatch, RunningStateListenersHearTheirOwnStreamOnly) {
  start_server();
  start_recording();
  uint32_t index = deskcap::linux_backend::pulse::recording_streams().value().at(0).index;
  // Registered first, so that a wrong match is called before the right one.
  Calls<Seen>& elsewhere = *listen(index + 3, kRunning);
  Calls<Seen>& own = *listen(index + 2, kRunning);
  Calls<Seen>& list = *listen(coreaudio::kSystemObject, kProcesses);
  ASSERT_TRUE(list.wait_for(0, [](const Seen&) { return true; }));  // subscribed

  ASSERT_EQ(linux_test::run({"pactl", "set-source-output-volume", std::to_string(index), "50%"}), 0);
  ASSERT_TRUE(own.wait_for(0, [&](const Seen& s) { return s.object == index + 2; }));
  EXPECT_EQ(own.all().front().selector, coreaudio::kIsRunningInput);
  EXPECT_EQ(elsewhere.count(), 0u);
}

TEST_F(ProcessWatch, RemovalEndsTheCallsAndTheSameFourRegisterOnce) {
  start_server();
  Calls<Seen>& removed = *listen(coreaudio::kSystemObject, kProcesses);
  EXPECT_EQ(platform::audio_object_add_listener(coreaudio::kSystemObject, kProcesses, record, &removed), 0);
  ASSERT_TRUE(saw(removed, 0, {}));
  EXPECT_EQ(platform::audio_object_remove_listener(coreaudio::kSystemObject, kProcesses, record, &removed), 0);
  EXPECT_EQ(platform::audio_object_remove_listener(coreaudio::kSystemObject, kProcesses, record, &removed),
            coreaudio::kUnknownProperty);
  size_t before = removed.count();

  uint32_t pid = start_recording();
  Calls<Seen>& other = *listen(coreaudio::kSystemObject, kProcesses);
  ASSERT_TRUE(saw(other, 0, {pid}));
  size_t from = other.count();
  clients_.back()->stop();
  ASSERT_TRUE(saw(other, from, {}));
  EXPECT_EQ(removed.count(), before);
}

TEST_F(ProcessWatch, ComesFromAServerThatStartsLaterAndFromTheNextOne) {
  Calls<Seen>& calls = *listen(coreaudio::kSystemObject, kProcesses);  // no server yet
  start_server();
  uint32_t pid = start_recording();
  ASSERT_TRUE(saw(calls, 0, {pid}));

  server_.reset();
  clients_.clear();
  size_t from = calls.count();
  start_server();
  ASSERT_TRUE(saw(calls, from, {}));
}

}  // namespace
