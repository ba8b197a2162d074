#include "component/reply_formats.h"

#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"

namespace quillor {
namespace {

TEST(ReplyFormats, AnErrorReplyIsTheDeclarationAndOneElementWithItsTextsEscaped) {
  EXPECT_EQ(ErrorReplyText("-1", "Bad \"x\" <y> & 'z'"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<reply code=\"-1\" message=\"Bad &quot;x&quot; &lt;y&gt; &amp; 'z'\"/>");
  EXPECT_EQ(ErrorReplyText("100", ""),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"100\" message=\"\"/>");
}

TEST(ReplyFormats, TheTemplateCarriesTheRequestsDocidAndProcEscaped) {
  EXPECT_EQ(ReplyTemplateText("D\"1", "a<d"), "<reply docid=\"D&quot;1\" proc=\"a&lt;d\"/>");
  EXPECT_EQ(ReplyTemplateText("", ""), "<reply docid=\"\" proc=\"\"/>");
}

TEST(ReplyFormats, ItemResultsAreAppendedInTheOrderTheyCome) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(ReplyTemplateText("7", "add")));
  AppendItemResult(doc, "L1", 0, "ok");
  AppendItemResult(doc, "L\"2", 100, "a < b");
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<reply docid=\"7\" proc=\"add\"><item id=\"L1\" code=\"0\" message=\"ok\"/>"
            "<item id=\"L&quot;2\" code=\"100\" message=\"a &lt; b\"/></reply>");
}

TEST(ReplyFormats, AnItemResultNeedsARootToGoUnder) {
  XmlDocument empty;
  EXPECT_FAILURE(failure_numbers::kFail, "AppendItemResult: the reply document has no root element",
                 AppendItemResult(empty, "L1", 0, "ok"));
}

}  // namespace
}  // namespace quillor
