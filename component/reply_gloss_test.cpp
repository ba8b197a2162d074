// The English gloss of a reply's catalogue texts.
#include "component/reply_gloss.h"

#include <gtest/gtest.h>

#include "messages/message_ids.h"

namespace quillor {
namespace {

TEST(ReplyGlossTest, CatalogueTextsInEnglishWithTheirData) {
  struct Case {
    const char* message;
    const char* english;
  };
  for (const Case& c : {
           Case{"成功", "written"},
           Case{"存货档案中无该存货编码M99",
                "the inventory code is not in the inventory file: M99"},
           Case{"数据库操作错误：材料表中已存在该记录，不能重复！",
                "database operation failed: the row is already in the material table"},
           Case{"部门：D02, 产品：P200, 自由项1：BLUE，找不到对应的成本对象！",
                "department D02, product P200, free item 1 BLUE: no cost object matches these "
                "values"},
           Case{"Type mismatch", "Type mismatch"},
       }) {
    EXPECT_EQ(GlossMessage(c.message, CatalogueTexts871()), c.english) << c.message;
  }
}

// A release glosses with its own texts: 8.50's fixed texts are not 8.71's.
TEST(ReplyGlossTest, EachReleaseGlossesItsOwnTexts) {
  for (const MessageTextMap* texts :
       {&CatalogueTexts871(), &CatalogueTexts861(), &FixedTexts850()}) {
    const auto success = texts->find(msg::kSuccess);
    ASSERT_NE(success, texts->end());
    EXPECT_EQ(GlossMessage(success->second, *texts), "written") << success->second;
  }
  // A text no table of the release holds stays as it is.
  EXPECT_EQ(GlossMessage("部门：D02", MessageTextMap{}), "部门：D02");
}

}  // namespace
}  // namespace quillor
