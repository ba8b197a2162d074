#include "platform/xml/xml_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quillor {
namespace {

constexpr size_t kAll = std::string_view::npos;

TEST(XmlTextTest, TheFirstByteXmlCannotCarry) {
  struct Case {
    std::string text;
    size_t invalid_utf8;  // FirstInvalidUtf8Byte
    size_t uncarriable;   // FirstUncarriableByte
  };
  const Case cases[] = {
      {"", kAll, kAll},
      {"plain \t\r\n <&>", kAll, kAll},
      {"\xE6\x9D\x90\xF0\x9F\x98\x80", kAll, kAll},  // a CJK character, an emoji
      {"\xEF\xBF\xBD", kAll, kAll},                  // U+FFFD
      {"ab\x01", kAll, 2},                           // a control character
      {std::string("a\0b", 3), kAll, 1},             // NUL
      {"a\x7F", kAll, kAll},                         // DEL is a character of XML 1.0
      {"\xEF\xBF\xBE", kAll, 0},                     // U+FFFE
      {"\xB2\xC4\xC1\xCF", 0, 0},                    // GBK bytes
      {"x\xC3", 1, 1},                               // cut short
      {"\xC0\xAF", 0, 0},                            // overlong
      {"\xED\xA0\x80", 0, 0},                        // a surrogate
      {"\xF4\x90\x80\x80", 0, 0},                    // beyond U+10FFFF
      {"\xF4\x8F\xBF\xBF", kAll, kAll},              // U+10FFFF itself
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstInvalidUtf8Byte(c.text), c.invalid_utf8) << c.text;
    EXPECT_EQ(FirstUncarriableByte(c.text), c.uncarriable) << c.text;
    EXPECT_EQ(IsXmlCarriable(c.text), c.uncarriable == kAll) << c.text;
  }
}

TEST(XmlTextTest, TheEndOfMarkupIsOutsideQuotesAndTheSubset) {
  constexpr size_t npos = std::string_view::npos;
  struct Case {
    std::string_view text;
    size_t from, end;
  };
  const Case cases[] = {
      {"<r a='1'>x", 0, 8},
      {"<r a='>' b=\">'\">", 0, 15},
      {"<r a=\"'>\">", 0, 9},
      {"<!DOCTYPE r [<!ENTITY e '>'><!ATTLIST r a CDATA '[x'>]> <r/>", 0, 54},
      {"<r]>", 0, 3},        // a bracket that closes nothing counts for nothing
      {"<r a='>", 0, npos},  // a quote never closed
      {"<r", 0, npos},
      {"ab><r>", 3, 5},
  };
  for (const Case& c : cases) EXPECT_EQ(MarkupEnd(c.text, c.from), c.end) << c.text;
}

}  // namespace
}  // namespace quillor
