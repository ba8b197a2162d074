#include "platform/base/number_text.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

TEST(IsPlainNumber, AcceptsOnlyNumbersThatStandBare) {
  for (const char* text : {"", " ", "+", ".", "1.2.3", "1e", "0x10", "1;drop", "1 2", "1e+", "--1",
                           "1,5", "&H10", "1d5", "1\n", "abc"}) {
    EXPECT_FALSE(IsPlainNumber(text)) << '"' << text << '"';
  }
  for (const char* text :
       {" 2.50 ", "-3", "+.5", "1E5", "1e-3", "0", "5.", "\t7\t", "12345678901234567890"}) {
    EXPECT_TRUE(IsPlainNumber(text)) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace quillor
