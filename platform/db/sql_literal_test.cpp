#include "platform/db/sql_literal.h"

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

}  // namespace
}  // namespace quillor
