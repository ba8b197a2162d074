#include "platform/base/text.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

TEST(Text, TrimTakesOnlyTheNamedBlanks) {
  struct Case {
    const char* text;
    bool (*blank)(char);
    const char* trimmed;
  };
  const Case cases[] = {
      {" \t\r\nab c\n", IsBlank, "ab c"},
      {"\vab\f", IsBlank, "\vab\f"},
      {"\vab\f ", IsSpace, "ab"},
      {"", IsSpace, ""},
      {" \t ", IsBlank, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Trim(c.text, c.blank), c.trimmed) << c.text;
}

TEST(Text, CaseIsFoldedInAsciiOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("Provider", "pROVIDER"));
  EXPECT_FALSE(EqualsIgnoreCase("Provider", "Provide"));
  EXPECT_FALSE(EqualsIgnoreCase("\xC3\x89", "\xC3\xA9"));  // É and é stay apart
  EXPECT_TRUE(StartsWithIgnoreCase("Bearer x", "bearer "));
  EXPECT_FALSE(StartsWithIgnoreCase("Bear", "bearer"));
  EXPECT_EQ(AsciiLower("AbC-\xC3\x89"), "abc-\xC3\x89");
  EXPECT_EQ(AsciiUpper("add"), "ADD");
  EXPECT_TRUE(AllDigits("0123"));
  EXPECT_FALSE(AllDigits(""));
  EXPECT_FALSE(AllDigits("12a"));
}

TEST(Text, HexDigitsInEitherCaseAndNothingElse) {
  const std::pair<char, int> digits[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'f', 15},
                                         {'A', 10}, {'F', 15}, {'c', 12}, {'D', 13}};
  for (const auto& [c, value] : digits) EXPECT_EQ(HexDigitValue(c), value) << c;
  for (const char c : {'g', 'G', '/', ':', '@', '`', ' ', '\0', '\xC3'}) {
    EXPECT_EQ(HexDigitValue(c), -1) << static_cast<int>(c);
  }
}

TEST(Text, Utf8DecodesWhatItEncodesAndRefusesMalformedBytes) {
  for (char32_t code : {U'A', U'\u00e9', U'\u6210', U'\U0001F600', U'\U0010FFFF'}) {
    std::string bytes;
    AppendUtf8(bytes, code);
    const Utf8Char c = DecodeUtf8(bytes, 0);
    EXPECT_EQ(c.code, code);
    EXPECT_EQ(c.length, bytes.size());
  }
  for (const char* bad :
       {"\x80", "\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE6\x88"}) {
    EXPECT_EQ(DecodeUtf8(bad, 0).length, 0u) << bad;
  }
}

// Negative status codes are written as their unsigned bits, always eight digits.
TEST(HexWord, EightUpperCaseDigitsAfter0x) {
  EXPECT_EQ(HexWord(0), "0x00000000");
  EXPECT_EQ(HexWord(0x6003000Du), "0x6003000D");
  EXPECT_EQ(HexWord(static_cast<uint32_t>(int32_t{-2147467259})), "0x80004005");
}

}  // namespace
}  // namespace quillor
