#include "runtime/value_text.h"

#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"

namespace quillor {
namespace {

TEST(ValueText, WritesEachKindAsTheHostDoes) {
  EXPECT_EQ(ValueText(DbValue(int64_t{0})), "0");
  EXPECT_EQ(ValueText(DbValue(int64_t{-42})), "-42");
  EXPECT_EQ(ValueText(DbValue(int64_t{9007199254740993})), "9007199254740993");
  EXPECT_EQ(ValueText(DbValue(2.5)), "2.5");
  EXPECT_EQ(ValueText(DbValue(6.0)), "6");
  EXPECT_EQ(ValueText(DbValue(0.1)), "0.1");
  EXPECT_EQ(ValueText(DbValue(-3.0)), "-3");
  EXPECT_EQ(ValueText(DbValue(1e20)), "1e+20");
  EXPECT_EQ(ValueText(DbValue(-0.0)), "0");
  EXPECT_EQ(ValueText(DbValue(0.1 + 0.2)), "0.30000000000000004");
  EXPECT_EQ(ValueText(DbValue(std::string(" 01 "))), " 01 ");
  EXPECT_EQ(ValueText(DbValue(std::string())), "");
}

TEST(ValueText, NullCannotBecomeText) {
  EXPECT_FAILURE(94, "Invalid use of Null", ValueText(DbValue()));
}

TEST(ValueTruth, NumbersAndTextsThatReadAsNonZero) {
  EXPECT_FALSE(ValueTruth(DbValue()));
  EXPECT_TRUE(ValueTruth(DbValue(int64_t{1})));
  EXPECT_TRUE(ValueTruth(DbValue(int64_t{-1})));
  EXPECT_FALSE(ValueTruth(DbValue(int64_t{0})));
  EXPECT_TRUE(ValueTruth(DbValue(0.5)));
  EXPECT_FALSE(ValueTruth(DbValue(0.0)));
  for (const char* t : {"1", "-1", "true", "TRUE", "True", " 1 ", "2.5"}) {
    EXPECT_TRUE(ValueTruth(DbValue(std::string(t)))) << t;
  }
  for (const char* t : {"0", "false", "", "0.0", "yes", "-0"}) {
    EXPECT_FALSE(ValueTruth(DbValue(std::string(t)))) << t;
  }
}

}  // namespace
}  // namespace quillor
