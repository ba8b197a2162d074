#include "platform/com/guid.h"

#include <gtest/gtest.h>

namespace quillor::com {
namespace {

TEST(GuidTest, ParsesAndWritesRegistryForm) {
  const auto g = Guid::Parse("{cb6e8e80-C56C-4f6b-97B0-a71c5626f6d3}");
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->data1, 0xCB6E8E80u);
  EXPECT_EQ(g->data2, 0xC56Cu);
  EXPECT_EQ(g->data3, 0x4F6Bu);
  EXPECT_EQ(g->data4[0], 0x97);
  EXPECT_EQ(g->data4[1], 0xB0);
  EXPECT_EQ(g->data4[2], 0xA7);
  EXPECT_EQ(g->data4[7], 0xD3);
  EXPECT_EQ(g->ToString(), "{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}");
  EXPECT_EQ(Guid::FromString(g->ToString()), *g);
}

TEST(GuidTest, KeepsLeadingZeros) {
  const Guid g = Guid::FromString("{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(g.ToString(), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_NE(g, Guid::FromString("{00020424-0000-0000-C000-000000000047}"));
}

TEST(GuidTest, RejectsEverythingButTheBracedForm) {
  for (const char* text : {
           "",
           "CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3",     // no braces
           "{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3",    // no closing brace
           "{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D}",    // one digit short
           "{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D33}",  // one digit long
           "{CB6E8E80C56C-4F6B-97B0-A71C5626F6D3-}",   // hyphen misplaced
           "{CB6E8E8G-C56C-4F6B-97B0-A71C5626F6D3}",   // not hex
           "{CB6E8E80-C56C-4F6B-97B0-A71C5626F6 3}",   // blank
           "{+B6E8E80-C56C-4F6B-97B0-A71C5626F6D3}",   // sign
       }) {
    EXPECT_FALSE(Guid::Parse(text).has_value()) << text;
  }
}

TEST(GuidDeathTest, FromStringAbortsOnABadTableEntry) {
  EXPECT_DEATH(Guid::FromString("{nonsense}"), "invalid identifier");
}

}  // namespace
}  // namespace quillor::com
