#include "platform/base/number_text.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

TEST(IsPlainNumber, AcceptsOnlyNumbersThatStandBare) {
  for (const char* text : {"", " ", "\n", "+", ".", "1.2.3", "1e", "0x10", "1;drop", "1 2", "1e+",
                           "--1", "1,5", "&H10", "1d5", "1\n2", "\v1", "1\f", "abc"}) {
    EXPECT_FALSE(IsPlainNumber(text)) << '"' << text << '"';
  }
  for (const char* text : {" 2.50 ", "-3", "+.5", "1E5", "1e-3", "0", "5.", "\t7\t",
                           "12345678901234567890", "1\n", "\n  2\n", "\r\n4.5\r\n"}) {
    EXPECT_TRUE(IsPlainNumber(text)) << '"' << text << '"';
  }
}

// A pretty-printed request wraps a field's text in line feeds and indentation.
TEST(IsWholeNumber, AcceptsDigitsWithXmlBlanksAround) {
  for (const char* text : {"", "\n", "2.5", "1e1", "4\n5", "\v4", "4;", "+"}) {
    EXPECT_FALSE(IsWholeNumber(text)) << '"' << text << '"';
  }
  for (const char* text : {"4", " -4 ", "\t+12\t", "\n  4\n", "\r\n4\r\n"}) {
    EXPECT_TRUE(IsWholeNumber(text)) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace quillor
