
#include "desktop_worlds.h"

namespace {

using namespace desktop_test;

json process(json running, json pid, json bundle_id = nullptr) {
  json p = {{"runningInput", std::move(running)}, {"pid", std::move(pid)}};
  if (!bundle_id.is_null()) p["bundleId"] = std::move(bundle_id);
  return p;
}

std::string apps() {
  return answer(deskcap::microphone_apps_step(scripted()), [](auto& s, const auto& list) {
    for (size_t i = 0; i < list.size(); ++i) s << (i ? ", " : "[") << list[i].pid << " " << list[i].bundle_id;
    s << (list.empty() ? "[]" : "]");
  });
}

TEST(MicrophoneApps, InputProcessesInListOrderOrNullWhenTheListCannotBeRead) {
  json voice = {process(true, 300, "com.voice")};
  const std::pair<json, const char*> cases[] = {
      {json::object(), "[]"}, {{{"processes", {process(false, 300, "com.music"), process(0, 301)}}}, "[]"},
      // A list shorter than one identifier is an empty list.
      {{{"listSize", 2}, {"processes", voice}}, "[]"},
      {{{"processObjectList", false}, {"processes", voice}}, "null"},
      {{{"listSizeStatus", 560947818}, {"processes", voice}}, "null"},
      {{{"listReadStatus", 2003332927}, {"processes", voice}}, "null"},
      // Only the identifiers the list read left.
      {{{"listReadSize", 4}, {"processes", {process(true, 1, "one"), process(true, 2, "two")}}}, "[1 one]"},
      {{{"processes",
         {process(true, 900, "com.b"), process(false, 40, "com.output.only"), process(true, 12), process(2, 900, "com.b"),
          process(true, 5, "com.a"), {{"runningInput", true}, {"runningInputStatus", 560947818}, {"pid", 77}},
          {{"runningInput", true}, {"pid", 78}, {"pidStatus", 560947818}, {"bundleId", "com.nopid"}},
          {{"runningInput", true}, {"pid", 79}, {"bundleId", "com.gone"}, {"bundleIdStatus", 1}},
          process(true, -4, "com.negative")}}},
       "[900 com.b, 12 , 900 com.b, 5 com.a, 79 ]"},
  };
  for (const auto& [audio, expected] : cases) {
    set_desktop({{"audio", audio}});
    EXPECT_EQ(apps(), expected) << audio.dump();
  }
}

TEST(MicrophoneApps, DocumentsMustBeArraysWhoseElementsNeedAPositiveIntegerPid) {
  const std::pair<json, std::string> cases[] = {
      {R"([{"pid":3,"bundleId":"a"},{"pid":0,"bundleId":"zero"},{"pid":-7},{"pid":4.5},{"pid":"9"},
          {"bundleId":"nopid"},7,null,{"pid":4294967296},{"pid":4294967295,"bundleId":17},
          {"pid":6,"bundleId":"b","extra":[1]},{"pid":3,"bundleId":"a"}])",
       "[3 a, 4294967295 , 6 b, 3 a]"},
      {"[]", "[]"}, {nullptr, "null"},
      {"{\"pid\":1}", "error: Microphone app list was not an array"},
      {"null", "error: Microphone app list was not an array"},
      {"\"[]\"", "error: Microphone app list was not an array"},
  };
  for (const auto& [text, expected] : cases) {
    set_raw_answer("microphone_apps_json", text);
    EXPECT_EQ(apps(), expected) << text;
  }
  for (const char* text : {"[{\"pid\":1}", "[] []", "[1,]"}) {
    set_raw_answer("microphone_apps_json", text);
    EXPECT_EQ(apps().rfind("error: Malformed microphone app list: ", 0), 0u) << text;
  }
}

}  // namespace
