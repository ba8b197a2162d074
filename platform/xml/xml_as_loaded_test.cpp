// A document serialised as it was loaded, and its frame around the root's content.
#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "platform/xml/xml.h"

namespace quillor {
namespace {

TEST(XmlAsLoaded, KeepsTheDeclarationOnlyWhenTheTextHadOneAndTheNodesAroundTheRoot) {
  struct Case {
    std::string loaded;
    std::string written;
  };
  const Case cases[] = {
      {"<r a=\"1\"><c/></r>", "<r a=\"1\"><c/></r>"},
      {"<?xml version=\"1.0\"?><r/>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r/>"},
      {"<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"yes\"?>\n<r/>",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<r/>"},
      {"<?xml\tversion='1.0' standalone='no'?><r/>",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<r/>"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\"?><r/>",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r/>"},
      // A processing instruction whose name starts with xml is no declaration.
      {"<?xml-stylesheet href=\"a.xsl\"?><r/>", "<?xml-stylesheet href=\"a.xsl\"?>\n<r/>"},
      {"<!-- c --><?pi data?>\n<!DOCTYPE r>\n<r/>  <!--after--><?end?>\n",
       "<!-- c -->\n<?pi data?>\n<!DOCTYPE r>\n<r/>\n<!--after-->\n<?end?>"},
      {"<!DOCTYPE r SYSTEM \"r.dtd\"><r/>", "<!DOCTYPE r SYSTEM \"r.dtd\">\n<r/>"},
      {"<!DOCTYPE r [<!ELEMENT r ANY>]><r>x</r>", "<!DOCTYPE r [\n<!ELEMENT r ANY>\n]>\n<r>x</r>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.loaded);
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(c.loaded));
    EXPECT_EQ(doc.SerializeAsLoaded(), c.written);
    // Loaded again, the text is written the same.
    XmlDocument again;
    ASSERT_TRUE(again.LoadXml(c.written));
    EXPECT_EQ(again.SerializeAsLoaded(), c.written);
    // Moved, the document remembers its declaration.
    XmlDocument moved = std::move(again);
    EXPECT_EQ(moved.SerializeAsLoaded(), c.written);
  }
  XmlDocument empty;
  EXPECT_EQ(empty.SerializeAsLoaded(), "");
  XmlDocument failed;
  EXPECT_FALSE(failed.LoadXml("<?xml version=\"1.0\"?>"));
  EXPECT_EQ(failed.SerializeAsLoaded(), "");
}

TEST(XmlAsLoaded, FrameAroundTheRootsContent) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(
      "<?xml version=\"1.0\"?><!--c--><r xmlns=\"urn:a\" k=\"v&amp;&quot;\"><x/>t</r><!--e-->"));
  const XmlFrame frame = doc.FrameAsLoaded();
  const std::string prolog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c-->\n";
  EXPECT_EQ(frame.head, prolog + "<r xmlns=\"urn:a\" k=\"v&amp;&quot;\">");
  EXPECT_EQ(frame.tail, "</r>\n<!--e-->");
  EXPECT_EQ(frame.empty, prolog + "<r xmlns=\"urn:a\" k=\"v&amp;&quot;\"/>\n<!--e-->");
  EXPECT_TRUE(frame.default_namespace);
  // The content is left out of the frame, not taken from the document.
  EXPECT_EQ(doc.SerializeAsLoaded(),
            prolog + "<r xmlns=\"urn:a\" k=\"v&amp;&quot;\"><x/>t</r>\n<!--e-->");

  struct Case {
    std::string loaded;
    std::string head;
    std::string tail;
    bool default_namespace;
  };
  const Case cases[] = {
      {"<p:r xmlns:p=\"urn:p\"/>", "<p:r xmlns:p=\"urn:p\">", "</p:r>", false},
      {"<r xmlns=\"\"/>", "<r xmlns=\"\">", "</r>", false},
      {"<r xmlns:p=\"urn:p\" xmlns=\"urn:d\"/>", "<r xmlns:p=\"urn:p\" xmlns=\"urn:d\">", "</r>",
       true},
      {"<!DOCTYPE r><r a=\"&#10;\"/>", "<!DOCTYPE r>\n<r a=\"&#10;\">", "</r>", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.loaded);
    XmlDocument d;
    ASSERT_TRUE(d.LoadXml(c.loaded));
    const XmlFrame f = d.FrameAsLoaded();
    EXPECT_EQ(f.head, c.head);
    EXPECT_EQ(f.tail, c.tail);
    EXPECT_EQ(f.default_namespace, c.default_namespace);
    EXPECT_EQ(f.empty, d.SerializeAsLoaded());
  }

  XmlDocument none;
  EXPECT_THROW(none.FrameAsLoaded(), Failure);
}

}  // namespace
}  // namespace quillor
