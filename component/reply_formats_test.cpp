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
  // Each value a request's attribute can hold, kept exactly: the characters the
  // parser would change in an attribute (tab, line feed, carriage return) as
  // references, and text beyond ASCII raw, as in every other reply.
  const struct {
    const char* docid;
    const char* proc;
    const char* root;
  } cases[] = {
      {"D\"1", "a<d", R"(<reply docid="D&quot;1" proc="a&lt;d"/>)"},
      {"", "", R"(<reply docid="" proc=""/>)"},
      {"a&b>c'd", "ADD", R"(<reply docid="a&amp;b&gt;c'd" proc="ADD"/>)"},
      {"t\tl\nc\r", " add ", R"(<reply docid="t&#9;l&#10;c&#13;" proc=" add "/>)"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA4\x64\x64",
       "<reply docid=\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\" proc=\"\xC3\xA4\x64\x64\"/>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplyTemplate(c.docid, c.proc).Serialize(),
              std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + c.root)
        << c.docid;
  }
}

TEST(ReplyFormats, ItemResultsAreAppendedInTheOrderTheyCome) {
  XmlDocument doc = ReplyTemplate("7", "add");
  AppendItemResult(doc, "L1", 0, "ok");
  AppendItemResult(doc, "L\"2", 100, "a < b");
  // A message beyond ASCII stays raw in the item too.
  AppendItemResult(doc, "L3", 111, "\xC3\xA9tat\t!");
  EXPECT_EQ(doc.Serialize(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<reply docid=\"7\" proc=\"add\"><item id=\"L1\" code=\"0\" message=\"ok\"/>"
            "<item id=\"L&quot;2\" code=\"100\" message=\"a &lt; b\"/>"
            "<item id=\"L3\" code=\"111\" message=\"\xC3\xA9tat&#9;!\"/></reply>");
}

TEST(ReplyFormats, AnItemResultNeedsARootToGoUnder) {
  XmlDocument empty;
  EXPECT_FAILURE(failure_numbers::kFail, "AppendItemResult: the reply document has no root element",
                 AppendItemResult(empty, "L1", 0, "ok"));
}

}  // namespace
}  // namespace quillor
