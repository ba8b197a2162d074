#include "platform/sql_literal.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

TEST(DoubleQuotes, DoublesEverySingleQuote) {
  EXPECT_EQ(DoubleQuotes(""), "");
  EXPECT_EQ(DoubleQuotes("D01"), "D01");
  EXPECT_EQ(DoubleQuotes("O'Brien"), "O''Brien");
  EXPECT_EQ(DoubleQuotes("'; drop table ca_mabsw --"), "''; drop table ca_mabsw --");
  EXPECT_EQ(DoubleQuotes("''"), "''''");
  EXPECT_EQ(DoubleQuotes("\"x\""), "\"x\"");
}

TEST(IsPlainNumber, AcceptsOnlyNumbersThatStandBare) {
  struct Case {
    const char* text;
    bool plain;
  } cases[] = {
      {"", false},
      {" ", false},
      {"+", false},
      {".", false},
      {"1.2.3", false},
      {"1e", false},
      {"0x10", false},
      {"1;drop", false},
      {"1 2", false},
      {"1e+", false},
      {"--1", false},
      {"1,5", false},
      {"&H10", false},
      {"1d5", false},
      {"1\n", false},
      {"abc", false},
      {" 2.50 ", true},
      {"-3", true},
      {"+.5", true},
      {"1E5", true},
      {"1e-3", true},
      {"0", true},
      {"5.", true},
      {"\t7\t", true},
      {"12345678901234567890", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPlainNumber(c.text), c.plain) << '"' << c.text << '"';
}

}  // namespace
}  // namespace quillor
