#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "desktop_worlds.h"
#include "desktop/desktop_steps.h"
#include "boundary/native.h"

namespace {

using namespace desktop_test;
using deskcap::microphone_apps_step;
using deskcap::MicrophoneApp;

json process(json running, json pid, json bundle_id = nullptr) {
  json p = {{"runningInput", std::move(running)}, {"pid", std::move(pid)}};
  if (!bundle_id.is_null()) p["bundleId"] = std::move(bundle_id);
  return p;
}

void set_audio(json audio) { set_desktop({{"audio", std::move(audio)}}); }

std::optional<std::vector<MicrophoneApp>> apps() {
  auto result = microphone_apps_step(scripted());
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().reason);
  return result.ok() ? result.value() : std::nullopt;
}

std::vector<std::pair<uint32_t, std::string>> flat(const std::optional<std::vector<MicrophoneApp>>& a) {
  std::vector<std::pair<uint32_t, std::string>> out;
  if (a)
    for (const auto& app : *a) out.emplace_back(app.pid, app.bundle_id);
  return out;
}

TEST(MicrophoneApps, NobodyRecordingIsAnEmptyListNotNull) {
  set_audio(json::object());
  auto none = apps();
  ASSERT_TRUE(none.has_value());
  EXPECT_TRUE(none->empty());

  set_audio({{"processes", {process(false, 300, "com.music"), process(0, 301)}}});
  none = apps();
  ASSERT_TRUE(none.has_value());
  EXPECT_TRUE(none->empty());

  // A list shorter than one identifier is an empty list.
  set_audio({{"listSize", 2}, {"processes", {process(true, 300, "com.music")}}});
  none = apps();
  ASSERT_TRUE(none.has_value());
  EXPECT_TRUE(none->empty());
}

TEST(MicrophoneApps, UnreadableProcessListAnswersNull) {
  json processes = {process(true, 300, "com.voice")};
  for (json audio : {json{{"processObjectList", false}},
                     json{{"listSizeStatus", 560947818}},
                     json{{"listReadStatus", 2003332927}}}) {
    audio["processes"] = processes;
    set_audio(audio);
    EXPECT_FALSE(apps().has_value()) << audio.dump();
  }
}

TEST(MicrophoneApps, InputProcessesInListOrderWithDuplicatesAndMissingBundleIds) {
  set_audio({{"processes",
              {process(true, 900, "com.b"), process(false, 40, "com.output.only"),
               process(true, 12), process(2, 900, "com.b"), process(true, 5, "com.a"),
               {{"runningInput", true}, {"runningInputStatus", 560947818}, {"pid", 77}},
               {{"runningInput", true}, {"pid", 78}, {"pidStatus", 560947818}, {"bundleId", "com.nopid"}},
               {{"runningInput", true}, {"pid", 79}, {"bundleId", "com.gone"}, {"bundleIdStatus", 1}},
               process(true, -4, "com.negative")}}});
  using P = std::pair<uint32_t, std::string>;
  EXPECT_EQ(flat(apps()), (std::vector<P>{{900, "com.b"}, {12, ""}, {900, "com.b"}, {5, "com.a"}, {79, ""}}));
}

TEST(MicrophoneApps, ReadsOnlyTheIdentifiersTheListReadLeft) {
  set_audio({{"listReadSize", 4}, {"processes", {process(true, 1, "one"), process(true, 2, "two")}}});
  using P = std::pair<uint32_t, std::string>;
  EXPECT_EQ(flat(apps()), (std::vector<P>{{1, "one"}}));
}

TEST(MicrophoneApps, NativeDocumentWritesPidsAsIntegers) {
  set_audio({{"processes", {process(true, -4, "com.negative"), process(true, 2147483647, "max")}}});
  char* text = microphone_apps_json();
  ASSERT_NE(text, nullptr);
  json document = json::parse(text);
  native_free(text);
  ASSERT_TRUE(document.is_array());
  ASSERT_EQ(document.size(), 2u);
  EXPECT_TRUE(document[0]["pid"].is_number_integer());
  EXPECT_EQ(document[0]["pid"].get<int64_t>(), -4);
  EXPECT_EQ(document[1]["pid"].get<int64_t>(), 2147483647);
  EXPECT_EQ(document[1]["bundleId"], "max");
}

TEST(MicrophoneApps, ElementsWithoutAPositiveIntegerPidAreDropped) {
  set_raw_answer("microphone_apps_json",
                 R"([{"pid":3,"bundleId":"a"},{"pid":0,"bundleId":"zero"},{"pid":-7},
                     {"pid":4.5},{"pid":"9"},{"bundleId":"nopid"},7,null,
                     {"pid":4294967296},{"pid":4294967295,"bundleId":17},
                     {"pid":6,"bundleId":"b","extra":[1]},{"pid":3,"bundleId":"a"}])");
  using P = std::pair<uint32_t, std::string>;
  EXPECT_EQ(flat(apps()), (std::vector<P>{{3, "a"}, {4294967295u, ""}, {6, "b"}, {3, "a"}}));

  set_raw_answer("microphone_apps_json", "[]");
  auto empty = apps();
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
  set_raw_answer("microphone_apps_json", nullptr);
  EXPECT_FALSE(apps().has_value());
}

TEST(MicrophoneApps, DocumentsMustParseAndBeArrays) {
  for (const char* text : {"[{\"pid\":1}", "[] []", "[1,]"}) {
    set_raw_answer("microphone_apps_json", text);
    auto result = microphone_apps_step(scripted());
    ASSERT_FALSE(result.ok()) << text;
    EXPECT_EQ(result.error().status, deskcap::Status::GenericFailure);
    EXPECT_EQ(result.error().reason.rfind("Malformed microphone app list: ", 0), 0u)
        << result.error().reason;
  }
  for (const char* text : {"{\"pid\":1}", "null", "\"[]\""}) {
    set_raw_answer("microphone_apps_json", text);
    auto result = microphone_apps_step(scripted());
    ASSERT_FALSE(result.ok()) << text;
    EXPECT_EQ(result.error().status, deskcap::Status::GenericFailure);
    EXPECT_EQ(result.error().reason, "Microphone app list was not an array");
  }
}

}  // namespace
