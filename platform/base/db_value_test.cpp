#include "platform/base/db_value.h"

#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"

namespace quillor {
namespace {

TEST(DbValue, ToTextWritesEachKindAsTheHostDoes) {
  EXPECT_EQ(DbValue(int64_t{0}).ToText(), "0");
  EXPECT_EQ(DbValue(int64_t{-42}).ToText(), "-42");
  EXPECT_EQ(DbValue(int64_t{9007199254740993}).ToText(), "9007199254740993");
  EXPECT_EQ(DbValue(2.5).ToText(), "2.5");
  EXPECT_EQ(DbValue(6.0).ToText(), "6");
  EXPECT_EQ(DbValue(0.1).ToText(), "0.1");
  EXPECT_EQ(DbValue(-3.0).ToText(), "-3");
  EXPECT_EQ(DbValue(1e20).ToText(), "1e+20");
  EXPECT_EQ(DbValue(-0.0).ToText(), "0");
  EXPECT_EQ(DbValue(0.1 + 0.2).ToText(), "0.30000000000000004");
  EXPECT_EQ(DbValue(std::string(" 01 ")).ToText(), " 01 ");
  EXPECT_EQ(DbValue(std::string()).ToText(), "");
}

TEST(DbValue, NullCannotBecomeText) {
  EXPECT_FAILURE(94, "Invalid use of Null", DbValue().ToText());
}

TEST(DbValue, ToBool) {
  EXPECT_FALSE(DbValue().ToBool());
  EXPECT_TRUE(DbValue(int64_t{1}).ToBool());
  EXPECT_TRUE(DbValue(int64_t{-1}).ToBool());
  EXPECT_FALSE(DbValue(int64_t{0}).ToBool());
  EXPECT_TRUE(DbValue(0.5).ToBool());
  EXPECT_FALSE(DbValue(0.0).ToBool());
  for (const char* t : {"1", "-1", "true", "TRUE", "True", " 1 ", "2.5"}) {
    EXPECT_TRUE(DbValue(std::string(t)).ToBool()) << t;
  }
  for (const char* t : {"0", "false", "", "0.0", "yes", "-0"}) {
    EXPECT_FALSE(DbValue(std::string(t)).ToBool()) << t;
  }
}

}  // namespace
}  // namespace quillor
