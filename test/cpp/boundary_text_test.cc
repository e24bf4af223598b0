// UTF-8 repair by maximal subparts, the strict check, and taking over the native layer's heap strings.
#include "boundary/heap_text.h"
#include "core/utf8.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "boundary/native.h"

namespace deskcap {
namespace {

const std::string R = "\xEF\xBF\xBD";  // U+FFFD

char* heap(const std::string& bytes) {
  auto* block = static_cast<char*>(std::malloc(bytes.size() + 1));
  std::memcpy(block, bytes.data(), bytes.size());
  block[bytes.size()] = '\0';
  return block;
}

TEST(HeapText, WellFormedTextIsCopiedUnchanged) {
  for (const std::string& text :
       {std::string(), std::string("plain ascii {\"a\":1}"), std::string("\xC2\x80\xDF\xBF"),  // 2-byte ends
        std::string("\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"),                      // 3-byte edges
        std::string("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"),                                      // U+10000, U+10FFFF
        std::string("Ann\xE2\x80\x99s iPhone \xF0\x9F\x98\x80"), R}) {
    EXPECT_EQ(repair_utf8(text), text);
    EXPECT_TRUE(is_valid_utf8(text));
  }
}

// Each case from the Unicode standard's examples of maximal subparts (one
// U+FFFD per maximal ill-formed subpart, the byte that breaks it kept).
TEST(HeapText, IllFormedSequencesAreReplacedByMaximalSubparts) {
  const std::pair<std::string, std::string> cases[] = {
      {"\x80", R},                                       // stray continuation
      {"a\x80\xBF" "b", "a" + R + R + "b"},              // each stray byte on its own
      {"\xC0\xAF", R + R},                               // C0/C1 never start anything
      {"\xE0\x80\xAF", R + R + R},                       // overlong 3-byte
      {"\xF0\x80\x80\xAF", R + R + R + R},               // overlong 4-byte
      {"\xED\xA0\x80", R + R + R},                       // surrogate U+D800
      {"\xF4\x90\x80\x80", R + R + R + R},               // beyond U+10FFFF
      {"\xFF\xFE", R + R},
      {"\xE2\x82", R},                                   // truncated at the end: one subpart
      {"\xE2\x82" "A", R + "A"},                         // truncated before ASCII
      {"\xF0\x9F\x98", R},                               // truncated 4-byte
      {"\xF0\x9F\x98" "\xF0\x9F\x98\x80", R + "\xF0\x9F\x98\x80"},
      {"\xC3\xC3\xA9", R + "\xC3\xA9"},                  // a lead byte breaks the one before
      // The standard's table 3-8 example: 61 F1 80 80 E1 80 C2 62 80 63 80 BF 64.
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64", "a" + R + R + R + "b" + R + "c" + R + R + "d"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(repair_utf8(in), out) << testing::PrintToString(in);
    EXPECT_FALSE(is_valid_utf8(in)) << testing::PrintToString(in);
  }
  // Embedded NULs in a view are data, not ends.
  EXPECT_EQ(repair_utf8(std::string("a\0\x80", 3)), std::string("a\0", 2) + R);
}

TEST(HeapText, TakeOverMeasuresToTheFirstNulAndRepairs) {
  EXPECT_FALSE(take_heap_string(nullptr).has_value());
  EXPECT_EQ(take_heap_string(heap("")), std::optional<std::string>(""));
  std::string with_nul("[1]\0garbage", 11);
  EXPECT_EQ(take_heap_string(heap(with_nul)), "[1]");
  EXPECT_EQ(take_heap_string(heap("{\"name\":\"\xFF\"}")), "{\"name\":\"" + R + "\"}");
  // Blocks are handed back through native_free: run under ASan/LSan, a leak or
  // a double free here fails the run.
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(take_heap_string(heap(std::string(100, 'x'))).has_value());
}

}  // namespace
}  // namespace deskcap
