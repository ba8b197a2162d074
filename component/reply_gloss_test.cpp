// The English gloss of a reply's catalogue texts.
#include "component/reply_gloss.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(GlossMessage(c.message), c.english) << c.message;
  }
}

}  // namespace
}  // namespace quillor
