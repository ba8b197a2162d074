#include "platform/db/sql_literal.h"

#include <gtest/gtest.h>

#include <utility>

namespace quillor {
namespace {

TEST(DoubleQuotes, DoublesEverySingleQuote) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"D01", "D01"},
      {"O'Brien", "O''Brien"},
      {"'; drop table ca_mabsw --", "''; drop table ca_mabsw --"},
      {"''", "''''"},
      {"\"x\"", "\"x\""},
  };
  for (const auto& [text, quoted] : cases) EXPECT_EQ(DoubleQuotes(text), quoted) << text;
}

}  // namespace
}  // namespace quillor
