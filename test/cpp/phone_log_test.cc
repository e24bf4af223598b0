// The device capture log through its C boundary (ios_log, ios_take_log) and
// the worker step that turns a drain into lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "boundary/native.h"
#include "phone/phone_steps.h"
#include "platform/fake/base_world_fake.h"

namespace deskcap {
namespace {

// Sends this process's stderr to /dev/null for a noisy test.
class QuietStderr {
 public:
  QuietStderr() : saved_(dup(2)) {
    std::fflush(stderr);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
  }

 private:
  int saved_;
};

std::string drain() {
  char* text = ios_take_log();
  EXPECT_NE(text, nullptr);
  std::string copy = text != nullptr ? text : "";
  native_free(text);
  return copy;
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

class IosLog : public testing::Test {
 protected:
  void SetUp() override {
    fake::set_world(fake::json::object());
    drain();  // whatever earlier tests left
  }
  void TearDown() override { fake::set_world(fake::json::object()); }
};

TEST_F(IosLog, KeepsTheLast256EntriesInOrder) {
  {
    QuietStderr quiet;
    for (int i = 0; i < 300; ++i) ios_log("entry %d of %s", i, "300");
  }
  std::vector<std::string> lines = take_ios_log_step();
  ASSERT_EQ(lines.size(), 256u);
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], "entry " + std::to_string(44 + i) + " of 300");
}

TEST_F(IosLog, DrainEmptiesTheLogAndAnEmptyLogGivesNoLines) {
  QuietStderr quiet;
  ios_log("enable_ok");
  ios_log("capture_ok id=%s %ux%u bytes=%zu", "00008101", 1170u, 2532u, size_t{123456});
  ios_log("usb_apple_device name=%s vendor=0x%04x product=0x%04x configs=%s active=%s", "iPhone", 0x5ac,
          0x12a8, "1", "yes");
  std::vector<std::string> first = take_ios_log_step();
  EXPECT_EQ(first, (std::vector<std::string>{
                       "enable_ok", "capture_ok id=00008101 1170x2532 bytes=123456",
                       "usb_apple_device name=iPhone vendor=0x05ac product=0x12a8 configs=1 active=yes"}));
  EXPECT_TRUE(take_ios_log_step().empty());
  // The empty log is the empty text, not NULL.
  char* text = ios_take_log();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  native_free(text);
  // Messages longer than any fixed buffer are kept whole.
  std::string name(5000, 'n');
  ios_log("device_disconnected name=%s", name.c_str());
  EXPECT_EQ(take_ios_log_step(), std::vector<std::string>{"device_disconnected name=" + name});
}

TEST_F(IosLog, LineBreaksInsideMessagesSplitTheDrain) {
  QuietStderr quiet;
  ios_log("device_connected name=%s media=%s", "Ann's\niPhone", "muxed");
  ios_log("one\r\ntwo");
  ios_log("three\r");      // joined to the next entry its "\r" meets the "\n"
  ios_log("four\rfive");   // a lone "\r" stays
  ios_log("six\n");        // a break at the end of a message gives an empty line
  ios_log("seven");
  ios_log("end\r");        // the last "\r" is followed by no "\n" and stays
  EXPECT_EQ(take_ios_log_step(),
            (std::vector<std::string>{"device_connected name=Ann's", "iPhone media=muxed", "one", "two", "three",
                                      "four\rfive", "six", "", "seven", "end\r"}));
  // A text ending in "\n" has no empty last line.
  ios_log("x");
  ios_log("last\n");
  EXPECT_EQ(take_ios_log_step(), (std::vector<std::string>{"x", "last"}));
  ios_log("\n");
  EXPECT_EQ(take_ios_log_step(), std::vector<std::string>{""});
}

TEST_F(IosLog, AFailedCopyKeepsEveryEntry) {
  {
    QuietStderr quiet;
    ios_log("a");
    ios_log("bb");
  }
  fake::set_world(fake::json::parse(R"({"allocation": {"failSizes": [5]}})"));  // "a\nbb" + NUL
  EXPECT_EQ(ios_take_log(), nullptr);
  EXPECT_TRUE(take_ios_log_step().empty());  // NULL reads as no lines
  fake::set_world(fake::json::object());
  EXPECT_EQ(drain(), "a\nbb");
  EXPECT_EQ(drain(), "");
}

TEST(IosLogDeathTest, ADrainBeforeAnyWriteIsEmpty) {
  // A fresh process, so that the log has really never been written.
  std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        char* text = ios_take_log();
        bool empty = text != nullptr && text[0] == '\0';
        native_free(text);
        std::_Exit(empty && take_ios_log_step().empty() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
}

// Every entry is also one whole stderr line "KR_IOS <message>", even when
// several threads write at once. Checked in a child whose stderr is a pipe.
TEST_F(IosLog, EveryEntryReachesStderrAsOneTaggedLine) {
  constexpr int kThreads = 4, kPerThread = 300;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::fflush(nullptr);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(fds[0]);
    dup2(fds[1], 2);
    close(fds[1]);
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
      writers.emplace_back([t] {
        std::string payload(200 + 37 * t, static_cast<char>('a' + t));
        for (int i = 0; i < kPerThread; ++i) ios_log("w%d-%d %s", t, i, payload.c_str());
      });
    for (auto& w : writers) w.join();
    std::_Exit(0);
  }
  close(fds[1]);
  std::string output;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  ASSERT_FALSE(output.empty());
  EXPECT_EQ(output.back(), '\n');
  std::vector<std::string> lines = split(output.substr(0, output.size() - 1));
  std::map<std::string, int> seen;
  for (const auto& line : lines) ++seen[line];
  ASSERT_EQ(lines.size(), size_t{kThreads} * kPerThread);
  for (int t = 0; t < kThreads; ++t) {
    std::string payload(200 + 37 * t, static_cast<char>('a' + t));
    int last = -1;
    for (const auto& line : lines) {  // one writer's lines keep their order
      std::string head = "KR_IOS w" + std::to_string(t) + "-";
      if (line.rfind(head, 0) != 0) continue;
      int i = std::stoi(line.substr(head.size()));
      EXPECT_EQ(i, last + 1);
      last = i;
      EXPECT_EQ(line, head + std::to_string(i) + " " + payload);
    }
    EXPECT_EQ(last, kPerThread - 1);
  }
  for (const auto& [line, count] : seen) EXPECT_EQ(count, 1) << line;
}

// Writers and drainers at once: every entry is drained exactly once. Each
// round writes fewer than 256 entries, so no entry may be dropped for space.
TEST_F(IosLog, ConcurrentWritersAndDrainersLoseAndDuplicateNothing) {
  constexpr int kWriters = 3, kDrainers = 2, kPerWriter = 80, kRounds = 40;
  static_assert(kWriters * kPerWriter < 256);
  QuietStderr quiet;
  for (int round = 0; round < kRounds; ++round) {
    std::atomic<int> writing{kWriters};
    std::vector<std::vector<std::string>> drains(kDrainers + 1);
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
      threads.emplace_back([&, w] {
        for (int i = 0; i < kPerWriter; ++i) {
          ios_log("r%d w%d %d", round, w, i);
          if (i % 16 == 0) std::this_thread::yield();
        }
        --writing;
      });
    for (int d = 0; d < kDrainers; ++d)
      threads.emplace_back([&, d] {
        while (writing.load() > 0) {
          char* text = ios_take_log();
          if (text == nullptr) continue;
          if (*text != '\0') drains[d].push_back(text);
          native_free(text);
        }
      });
    for (auto& t : threads) t.join();
    drains[kDrainers].push_back(drain());

    std::map<std::string, int> count;
    for (const auto& texts : drains)
      for (const auto& text : texts) {
        std::vector<int> next(kWriters, -1);
        for (const auto& entry : split(text)) {
          ++count[entry];
          int r, w, i;
          ASSERT_EQ(std::sscanf(entry.c_str(), "r%d w%d %d", &r, &w, &i), 3) << entry;
          ASSERT_EQ(r, round);
          EXPECT_GT(i, next[w]) << "out of order within one drain: " << entry;
          next[w] = i;
        }
      }
    ASSERT_EQ(count.size(), size_t{kWriters} * kPerWriter) << "round " << round;
    for (const auto& [entry, n] : count) ASSERT_EQ(n, 1) << entry;
  }
}

}  // namespace
}  // namespace deskcap
