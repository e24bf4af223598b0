// The device capture log through its C boundary (ios_log, ios_take_log) and
// the worker step that turns a drain into lines.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <map>

#include "phone/phone_steps.h"
#include "phone_fixture.h"

namespace deskcap::phone_test {
namespace {

using IosLog = PhoneTest;

TEST_F(IosLog, KeepsTheLast256EntriesInOrder) {
  for (int i = 0; i < 300; ++i) ios_log("entry %d of %s", i, "300");
  Lines lines = take_ios_log_step();
  ASSERT_EQ(lines.size(), 256u);
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], "entry " + std::to_string(44 + i) + " of 300");
}

TEST_F(IosLog, DrainEmptiesTheLogAndKeepsLongMessagesWhole) {
  ios_log("capture_ok id=%s %ux%u bytes=%zu", "00008101", 1170u, 2532u, size_t{123456});
  ios_log("usb_apple_device vendor=0x%04x configs=%s", 0x5ac, "1");
  EXPECT_EQ(take_ios_log_step(), (Lines{"capture_ok id=00008101 1170x2532 bytes=123456",
                                        "usb_apple_device vendor=0x05ac configs=1"}));
  EXPECT_TRUE(take_ios_log_step().empty());
  // The empty log is the empty text, not NULL.
  char* text = ios_take_log();
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "");
  native_free(text);
  std::string name(5000, 'n');
  ios_log("device_disconnected name=%s", name.c_str());
  EXPECT_EQ(take_ios_log_step(), Lines{"device_disconnected name=" + name});
}

TEST_F(IosLog, LineBreaksInsideMessagesSplitTheDrain) {
  ios_log("device_connected name=%s media=%s", "Ann's\niPhone", "muxed");
  ios_log("one\r\ntwo");
  ios_log("three\r");     // joined to the next entry its "\r" meets the "\n"
  ios_log("four\rfive");  // a lone "\r" stays
  ios_log("six\n");       // a break at the end of a message gives an empty line
  ios_log("seven");
  ios_log("end\r");       // the last "\r" is followed by no "\n" and stays
  EXPECT_EQ(take_ios_log_step(), (Lines{"device_connected name=Ann's", "iPhone media=muxed", "one", "two", "three",
                                        "four\rfive", "six", "", "seven", "end\r"}));
  // A text ending in "\n" has no empty last line.
  ios_log("x");
  ios_log("last\n");
  EXPECT_EQ(take_ios_log_step(), (Lines{"x", "last"}));
  ios_log("\n");
  EXPECT_EQ(take_ios_log_step(), Lines{""});
}

TEST_F(IosLog, AFailedCopyKeepsEveryEntry) {
  ios_log("a");
  ios_log("bb");
  fake::set_world(json::parse(R"({"allocation": {"failSizes": [5]}})"));  // "a\nbb" + NUL
  EXPECT_EQ(ios_take_log(), nullptr);
  EXPECT_TRUE(take_ios_log_step().empty());  // NULL reads as no lines
  fake::set_world(json::object());
  EXPECT_EQ(drain(), "a\nbb");
  EXPECT_EQ(drain(), "");
}

// Every entry is also one whole stderr line "KR_IOS <message>", in its
// writer's order, even when several threads write at once.
TEST_F(IosLog, EveryEntryIsOneTaggedStderrLine) {
  constexpr int kThreads = 4, kPerThread = 300;
  auto line = [](int t, int i) { return "w" + std::to_string(t) + "-" + std::to_string(i) + " " +
                                        std::string(200 + 37 * t, static_cast<char>('a' + t)); };
  std::unique_ptr<FILE, decltype(&std::fclose)> capture(std::tmpfile(), &std::fclose);
  std::fflush(stderr);
  int saved = dup(2);
  dup2(fileno(capture.get()), 2);
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([t, &line] {
      for (int i = 0; i < kPerThread; ++i) ios_log("%s", line(t, i).c_str());
    });
  for (auto& w : writers) w.join();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);

  std::string output(static_cast<size_t>(std::ftell(capture.get())), '\0');
  std::rewind(capture.get());
  ASSERT_EQ(std::fread(output.data(), 1, output.size(), capture.get()), output.size());
  ASSERT_EQ(output.back(), '\n');
  std::map<int, Lines> by_writer;
  for (const auto& got : split(output.substr(0, output.size() - 1)))
    by_writer[got.size() > 8 ? got[8] - '0' : -1].push_back(got);
  ASSERT_EQ(by_writer.size(), size_t{kThreads});
  for (int t = 0; t < kThreads; ++t) {
    Lines expected;
    for (int i = 0; i < kPerThread; ++i) expected.push_back("KR_IOS " + line(t, i));
    EXPECT_EQ(by_writer[t], expected);
  }
}

// Every entry drained exactly once, each drain in writing order (a round writes
// fewer than 256 entries, so none is dropped for space).
TEST_F(IosLog, ConcurrentWritersAndDrainersLoseAndDuplicateNothing) {
  constexpr int kWriters = 3, kDrainers = 2, kPerWriter = 80;
  static_assert(kWriters * kPerWriter < 256);
  for (int round = 0; round < 40; ++round) {
    std::atomic<int> writing{kWriters};
    std::vector<Lines> drains(kDrainers + 1);
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w)
      threads.emplace_back([&, w] {
        for (int i = 0; i < kPerWriter; ++i) {
          ios_log("w%d %d", w, i);
          if (i % 16 == 0) std::this_thread::yield();
        }
        --writing;
      });
    for (int d = 0; d < kDrainers; ++d)
      threads.emplace_back([&, d] {
        while (writing.load() > 0) drains[d].push_back(drain());
      });
    for (auto& t : threads) t.join();
    drains[kDrainers].push_back(drain());

    std::map<std::string, int> count;
    for (const auto& texts : drains)
      for (const auto& text : texts) {
        std::vector<int> next(kWriters, -1);
        for (const auto& entry : split(text)) {
          int w = -1, i = -1;
          ASSERT_EQ(std::sscanf(entry.c_str(), "w%d %d", &w, &i), 2) << entry;
          EXPECT_GT(i, next[w]) << "out of order within one drain: " << entry;
          next[w] = i;
          ++count[entry];
        }
      }
    ASSERT_EQ(count.size(), size_t{kWriters} * kPerWriter) << "round " << round;
    for (const auto& [entry, n] : count) ASSERT_EQ(n, 1) << entry;
  }
}

}  // namespace
}  // namespace deskcap::phone_test
