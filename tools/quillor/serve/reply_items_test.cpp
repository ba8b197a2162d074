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

}  // namespace
}  // namespace quillor::serve
