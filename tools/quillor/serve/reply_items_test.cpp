#include "tools/quillor/serve/reply_items.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

TEST(ReplyItems, TheItemsHeaderCountsByCodeInTextOrder) {
  EXPECT_EQ(ItemsHeader({}), "");
  EXPECT_EQ(ItemsHeader({{"0", 4}}), "0=4");
  EXPECT_EQ(ItemsHeader({{"101", 1}, {"0", 4}, {"-2147217900", 2}}), "-2147217900=2, 0=4, 101=1");
}

TEST(ReplyItems, OnlyAFailuresCodeWithoutItemsMaySayTheConnectionDidNotOpen) {
  struct Case {
    std::optional<int32_t> code;
    bool lines;
    bool may;
  };
  const std::vector<Case> table = {
      {-2147467259, false, true},   {529, false, true},         {-2147217900, false, true},
      {std::nullopt, false, false}, {100, false, false},        {101, false, false},
      {710, false, false},          {-2147467259, true, false},
  };
  for (const Case& c : table) {
    EXPECT_EQ(MayBeUnopenedConnection(c.code, c.lines), c.may)
        << c.code.value_or(0) << (c.lines ? " with lines" : "");
  }
}

TEST(ReplyItems, OnlyAConnectionExceptionsStateSaysTheDriverCouldNotConnect) {
  for (const char* state : {"08001", "08006", "08004"}) EXPECT_TRUE(DriverCouldNotConnect(state));
  for (const char* state : {"", "IM002", "28000", "42P01", "08", "0800100", "HY000"}) {
    EXPECT_FALSE(DriverCouldNotConnect(state)) << state;
  }
}

}  // namespace
}  // namespace quillor::serve
