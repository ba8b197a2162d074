#include "platform/xml/element_values.h"

#include <gtest/gtest.h>

#include "testing/expect_failure.h"

namespace quillor {
namespace {

TEST(ElementValues, AFieldIsTheChildsTextBeforeTheAttributeAndEmptyWhenNeitherIsThere) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(R"(<material price="1" quantity="2" serial="">)"
                          R"(<price>9.5</price><period/><inventoryno>A<b>B</b></inventoryno>)"
                          R"(</material>)"));
  const XmlElement m = doc.Root();
  struct Case {
    const char* name;
    const char* field;
    const char* attribute;
  };
  for (const Case& c :
       {Case{"price", "9.5", "1"}, Case{"quantity", "2", "2"}, Case{"period", "", ""},
        Case{"serial", "", ""}, Case{"inventoryno", "AB", ""}, Case{"absent", "", ""}}) {
    EXPECT_EQ(FieldText(m, c.name), c.field) << c.name;
    EXPECT_EQ(AttributeText(m, c.name), c.attribute) << c.name;
  }
}

TEST(ElementValues, NoElementIsAFailureNamingTheRead) {
  EXPECT_FAILURE(failure_numbers::kFail, "ReadField: no element", FieldText(XmlElement(), "price"));
  EXPECT_FAILURE(failure_numbers::kFail, "ReadAttribute: no element",
                 AttributeText(XmlElement(), "id"));
}

}  // namespace
}  // namespace quillor
