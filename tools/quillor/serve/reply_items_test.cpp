#include "tools/quillor/serve/reply_items.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

TEST(ReplyItems, TheCodeOfAFailureAndTheItemsOfAnAdd) {
  const ReplySummary failure =
      SummarizeReply("<?xml version=\"1.0\"?>\n<reply code=\"529\" message=\"m\"/>", true);
  EXPECT_EQ(failure.code, "529");
  EXPECT_TRUE(failure.items.empty());

  const std::string add =
      "<reply docid=\"D\" proc=\"ADD\"><item id=\"1\" code=\"0\"/><item id=\"2\" code=\"0\"/>"
      "<item id=\"3\" code=\"101\"/><other code=\"9\"/></reply>";
  const ReplySummary counted = SummarizeReply(add, true);
  EXPECT_EQ(counted.code, "");
  EXPECT_EQ(counted.items, (ItemCounts{{"0", 2}, {"101", 1}}));
  EXPECT_TRUE(SummarizeReply(add, false).items.empty());

  EXPECT_EQ(SummarizeReply("<ufinterface code=\"5\"/>", true).code, "");  // not a reply root
  EXPECT_EQ(SummarizeReply("not xml", true).code, "");
}

TEST(ReplyItems, TheItemsHeaderCountsByCodeInTextOrder) {
  EXPECT_EQ(ItemsHeader({}), "");
  EXPECT_EQ(ItemsHeader({{"0", 4}}), "0=4");
  EXPECT_EQ(ItemsHeader({{"101", 1}, {"0", 4}, {"-2147217900", 2}}), "-2147217900=2, 0=4, 101=1");
}

TEST(ReplyItems, RowsAreTheRootsChildrenNamedByTheRoottag) {
  const std::string page =
      "<ufinterface><material id=\"1\"/><material id=\"2\"><material/></material>"
      "<other/></ufinterface>";
  EXPECT_EQ(CountRows(page, "material"), 2);
  EXPECT_EQ(CountRows(page, "other"), 1);
  EXPECT_EQ(CountRows(page, ""), 0);
  EXPECT_EQ(CountRows("<reply code=\"5\"/>", "material"), 0);
  EXPECT_EQ(CountRows("<a><material/>", "material"), 0);  // not well-formed
}

TEST(ReplyItems, OnlyAFailuresCodeWithoutItemsMaySayTheConnectionDidNotOpen) {
  struct Case {
    std::string code;
    ItemCounts items;
    bool may;
  };
  const std::vector<Case> table = {
      {"-2147467259", {}, true}, {"529", {}, true},
      {"-2147217900", {}, true}, {"", {}, false},
      {"100", {}, false},        {"101", {}, false},
      {"710", {}, false},        {"-2147467259", {{"0", 1}}, false},
  };
  for (const Case& c : table) {
    ReplySummary summary;
    summary.code = c.code;
    summary.items = c.items;
    EXPECT_EQ(MayBeUnopenedConnection(summary), c.may) << c.code;
  }
}

}  // namespace
}  // namespace quillor::serve
