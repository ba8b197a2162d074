#include "platform/xml/xml.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

constexpr const char* kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

TEST(XmlDocument, RefusesTextThatIsNotWellFormed) {
  for (const char* text : {"", "   ", "not xml", "<a>", "<a></b>", "<a x='1' x='2'/>",
                           "<a>&undeclared;</a>", "<a/><b/>", "<?xml version=\"1.0\"?>"}) {
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadXml(text)) << text;
    EXPECT_FALSE(doc.ParseError().empty()) << text;
    EXPECT_TRUE(doc.Root().IsNull()) << text;
    EXPECT_EQ(doc.Serialize(), "") << text;
  }
}

TEST(XmlDocument, FailedLoadEmptiesAnEarlierDocument) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<a/>"));
  EXPECT_FALSE(doc.LoadXml("<a>"));
  EXPECT_TRUE(doc.Root().IsNull());
  ASSERT_TRUE(doc.LoadXml("<b/>"));
  EXPECT_TRUE(doc.ParseError().empty());
  EXPECT_EQ(doc.Root().Name(), "b");
}

// The external entity reads as nothing; the internal one, declared in the
// document's own type declaration, is expanded in content and attributes alike.
TEST(XmlDocument, ExternalEntityIsNeverFetchedAndReadsAsNothing) {
  testing::TempDir dir;
  const std::string secret = dir.File("secret.txt");
  std::ofstream(secret) << "SECRET";
  const std::string text = "<!DOCTYPE r [<!ENTITY ext SYSTEM \"file://" + secret +
                           "\"><!ENTITY inner \"INNER\">]>"
                           "<r a=\"x&inner;y\"><v>1&ext;2&inner;3&amp;</v></r>";
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(text)) << doc.ParseError();
  XmlElement v = doc.Root().FirstChild("v");
  EXPECT_EQ(v.Text(), "12INNER3&");
  EXPECT_EQ(doc.Root().Attribute("a"), "xINNERy");
  EXPECT_EQ(doc.Serialize().find("SECRET"), std::string::npos);
}

// A non-validating processor expands the internal entities and applies the
// attribute defaults of the document's own DOCTYPE.
TEST(XmlDocument, InternalDeclarationsOfTheDoctypeApply) {
  XmlDocument doc;
  ASSERT_TRUE(
      doc.LoadXml("<!DOCTYPE r [<!ENTITY d \"D01\"><!ENTITY two \"&d;&d;\">"
                  "<!ATTLIST r proc CDATA \"ADD\" docid CDATA #IMPLIED>"
                  "<!ATTLIST m id CDATA \"7\">]>"
                  "<r><m><departmentno>&d;</departmentno></m><m id=\"2\">&two;</m></r>"))
      << doc.ParseError();
  EXPECT_EQ(doc.Root().Attribute("proc"), "ADD");
  EXPECT_EQ(doc.Root().Attribute("docid"), std::nullopt);
  const std::vector<XmlElement> m = doc.Root().ChildElements();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].FirstChild("departmentno").Text(), "D01");
  EXPECT_EQ(m[0].Attribute("id"), "7");
  EXPECT_EQ(m[1].Attribute("id"), "2");
  EXPECT_EQ(m[1].Text(), "D01D01");
}

// External parameter entities and external subsets are never read, even though
// entities are now expanded: what they would declare stays undeclared.
TEST(XmlDocument, ExternalParameterEntitiesAndSubsetsAreNeverRead) {
  testing::TempDir dir;
  const std::string dtd = dir.File("outer.dtd");
  std::ofstream(dtd) << "<!ENTITY x \"SECRET\"><!ATTLIST r a CDATA \"SECRET\">";
  for (const std::string& doctype :
       {"<!DOCTYPE r [<!ENTITY % p SYSTEM \"file://" + dtd + "\"> %p;]>",
        "<!DOCTYPE r SYSTEM \"file://" + dtd + "\">",
        "<!DOCTYPE r PUBLIC \"-//x//y//EN\" \"" + dtd + "\">"}) {
    XmlDocument doc;
    if (doc.LoadXml(doctype + "<r>1&x;2</r>")) {
      EXPECT_EQ(doc.Root().Text(), "12") << doctype;
      EXPECT_EQ(doc.Root().Attribute("a"), std::nullopt) << doctype;
    }
    EXPECT_EQ(doc.Serialize().find("SECRET"), std::string::npos) << doctype;
  }
}

// A "billion laughs" DOCTYPE: entity j stands for 10^9 copies of "lol", each of
// the entities b to j for ten of the one before it.
std::string BillionLaughsDoctype() {
  std::string text = "<!DOCTYPE r [<!ENTITY a \"lol\">";
  for (char c = 'b'; c <= 'j'; ++c) {
    text += std::string("<!ENTITY ") + c + " \"";
    for (int i = 0; i < 10; ++i) text += std::string("&") + static_cast<char>(c - 1) + ";";
    text += "\">";
  }
  return text + "]>";
}

// A billion laughs is refused by libxml2's amplification limits, at once.
TEST(XmlDocument, EntityAmplificationIsRefused) {
  const std::string text = BillionLaughsDoctype() + "<r a=\"&j;\">&j;</r>";
  XmlDocument doc;
  EXPECT_FALSE(doc.LoadXml(text));
  EXPECT_FALSE(doc.ParseError().empty());
}

TEST(XmlDocument, NestedEntitiesDoNotMultiply) {
  const std::string text = BillionLaughsDoctype() + "<r>x&j;y</r>";
  XmlDocument doc;
  if (doc.LoadXml(text)) {
    EXPECT_EQ(doc.Root().Text(), "xy");
  } else {
    EXPECT_FALSE(doc.ParseError().empty());
  }
}

TEST(XmlDocument, KeepsWhitespaceAndCdata) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r>\n  <a> x </a><![CDATA[<b>&]]></r>"));
  EXPECT_EQ(doc.Root().Text(), "\n   x <b>&");
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<r>\n  <a> x </a><![CDATA[<b>&]]></r>");
}

TEST(XmlDocument, AttributeEscapingRoundTrips) {
  const std::string value = "a\"b'c&d<e>f\tg\nh";
  XmlDocument doc;
  XmlElement root = doc.CreateElement("r");
  doc.SetRoot(root);
  root.SetAttribute("v", value);
  root.SetAttribute("w", "&amp;");
  const std::string text = doc.Serialize();
  EXPECT_EQ(text, std::string(kDecl) +
                      "<r v=\"a&quot;b'c&amp;d&lt;e&gt;f&#9;g&#10;h\" w=\"&amp;amp;\"/>");
  XmlDocument again;
  ASSERT_TRUE(again.LoadXml(text));
  EXPECT_EQ(again.Root().Attribute("v"), value);
  EXPECT_EQ(again.Root().Attribute("w"), "&amp;");
  EXPECT_EQ(again.Root().Attribute("missing"), std::nullopt);
}

TEST(XmlDocument, SetAttributeReplaces) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r id=\"1\"/>"));
  doc.Root().SetAttribute("id", "2");
  doc.Root().SetAttribute("x", "");
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<r id=\"2\" x=\"\"/>");
}

TEST(XmlDocument, ChineseTextStaysRawInOutput) {
  XmlDocument doc;
  // The declared encoding is ignored: the text reaches the parser decoded.
  ASSERT_TRUE(doc.LoadXml("<?xml version=\"1.0\" encoding=\"gb2312\"?><r m=\"成功\">部门</r>"))
      << doc.ParseError();
  EXPECT_EQ(doc.Root().Text(), "部门");
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<r m=\"成功\">部门</r>");
}

TEST(XmlDocument, SelectRelativeAndAbsolute) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(
      "<r><material id=\"1\"/>text<!--c--><x><material id=\"n\"/></x><material id=\"2\"/>"
      "<q><field n=\"a\"/><field n=\"b\"/></q><q><field n=\"c\"/></q></r>"));
  XmlElement root = doc.Root();
  auto materials = root.Select("material");
  ASSERT_EQ(materials.size(), 2u);
  EXPECT_EQ(materials[0].Attribute("id"), "1");
  EXPECT_EQ(materials[1].Attribute("id"), "2");
  auto fields = root.Select("q/field");
  ASSERT_EQ(fields.size(), 3u);
  EXPECT_EQ(fields[2].Attribute("n"), "c");
  EXPECT_TRUE(root.Select("/field").empty());
  EXPECT_EQ(root.Select("/r").size(), 1u);
  EXPECT_EQ(materials[0].Select("/r/x/material").size(), 1u);
  EXPECT_TRUE(root.Select("node()[self::text() or self::comment()]").empty());

  XmlDocument field;
  ASSERT_TRUE(field.LoadXml("<field/>"));
  EXPECT_EQ(field.Root().Select("/field").size(), 1u);
}

TEST(XmlDocument, InvalidExpressionIsAFailure) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r/>"));
  try {
    doc.Root().Select("a[/field");
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.number(), failure_numbers::kFail);
    EXPECT_FALSE(f.description().empty());
  }
  try {
    doc.Root().Select("/field/");
    FAIL() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.description(), "Invalid expression");
  }
}

TEST(XmlDocument, InvalidElementNameIsAFailure) {
  XmlDocument doc;
  for (const char* name : {"", "1a", "a b", "<a>", "a/b"}) {
    EXPECT_FAILURE(failure_numbers::kFail,
                   "'" + std::string(name) + "' is not a valid element name",
                   doc.CreateElement(name));
  }
}

// The one-step child holds what the three DOM steps would put there, in a parsed
// document (names from its dictionary) and in a built one alike.
TEST(XmlDocument, AppendTextChildMatchesCreateSetTextAppend) {
  const std::vector<std::pair<std::string, std::string>> children{{"a", "x < y & \"z\" > 'w'\r\n"},
                                                                  {"b", ""},
                                                                  {"a", "\xe6\x9d\x90\xe6\x96\x99"},
                                                                  {"c", "&amp;"}};
  for (const bool parsed : {true, false}) {
    XmlDocument one_step, three_steps;
    XmlElement root1, root3;
    if (parsed) {
      ASSERT_TRUE(one_step.LoadXml("<r k=\"v\"/>"));
      ASSERT_TRUE(three_steps.LoadXml("<r k=\"v\"/>"));
      root1 = one_step.Root();
      root3 = three_steps.Root();
    } else {
      root1 = one_step.CreateElement("r");
      one_step.SetRoot(root1);
      root3 = three_steps.CreateElement("r");
      three_steps.SetRoot(root3);
    }
    for (const auto& [name, text] : children) {
      XmlElement made = root1.AppendTextChild(name, text);
      EXPECT_EQ(made.Name(), name);
      EXPECT_EQ(made.Text(), text);
      XmlElement child = three_steps.CreateElement(name);
      child.SetText(text);
      root3.AppendChild(child);
    }
    EXPECT_EQ(one_step.Serialize(), three_steps.Serialize()) << parsed;
    EXPECT_EQ(one_step.Serialize(), std::string(kDecl) + (parsed ? "<r k=\"v\">" : "<r>") +
                                        "<a>x &lt; y &amp; \"z\" &gt; 'w'&#13;\n</a><b/>"
                                        "<a>\xe6\x9d\x90\xe6\x96\x99</a><c>&amp;amp;</c></r>");
  }
}

TEST(XmlDocument, AppendTextChildRefusesInvalidNames) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r/>"));
  for (const char* name : {"", "1a", "a b", "<a>", "a/b"}) {
    try {
      doc.Root().AppendTextChild(name, "t");
      FAIL() << name;
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), failure_numbers::kFail);
      EXPECT_EQ(f.description(), "'" + std::string(name) + "' is not a valid element name");
    }
  }
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<r/>");
  EXPECT_THROW(XmlElement().AppendTextChild("a", "t"), Failure);
}

// A document with a type declaration is still written as plain XML, never in the
// XHTML manner its declaration might call for.
TEST(XmlDocument, DocumentWithTypeDeclarationSerialisesAsXml) {
  XmlDocument doc;
  ASSERT_TRUE(
      doc.LoadXml("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
                  "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">"
                  "<html><br></br><p/><b>\xc3\xa9</b></html>"));
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<html><br/><p/><b>\xc3\xa9</b></html>");
}

// Texts of very different lengths one after another come out whole and exact.
TEST(XmlDocument, SerialisesLongAndShortTextsInTurn) {
  XmlDocument big;
  ASSERT_TRUE(big.LoadXml("<r/>"));
  std::string expected = std::string(kDecl) + "<r>";
  for (int i = 0; i < 20000; ++i) {
    big.Root().AppendTextChild("v", std::to_string(i));
    expected += "<v>" + std::to_string(i) + "</v>";
  }
  expected += "</r>";
  XmlDocument small;
  ASSERT_TRUE(small.LoadXml("<s a=\"1\"/>"));
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(big.Serialize(), expected);
    const std::string short_text = small.Serialize();
    EXPECT_EQ(short_text, std::string(kDecl) + "<s a=\"1\"/>");
    EXPECT_LT(short_text.capacity(), 8192u);
  }
}

TEST(XmlDocument, SetTextRemovesAllChildren) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r a=\"1\"><q><field/></q>t<!--c--></r>"));
  XmlElement root = doc.Root();
  XmlElement q = root.FirstChild("q");
  root.SetText("");
  EXPECT_TRUE(root.ChildElements().empty());
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<r a=\"1\"/>");
  EXPECT_EQ(q.Name(), "q");  // a removed element's handle stays usable
  EXPECT_EQ(q.ChildElements().size(), 1u);
  root.SetText("a<&b");
  EXPECT_EQ(root.Text(), "a<&b");
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<r a=\"1\">a&lt;&amp;b</r>");
}

TEST(XmlDocument, BuildsADocumentFromCreatedElements) {
  XmlDocument doc;
  EXPECT_EQ(doc.Serialize(), "");
  XmlElement root = doc.CreateElement("ufinterface");
  XmlElement unplaced = doc.CreateElement("never");  // freed with the document
  doc.SetRoot(root);
  for (int i = 1; i <= 2; ++i) {
    XmlElement row = doc.CreateElement("material");
    row.SetAttribute("id", std::to_string(i));
    root.AppendChild(row);
  }
  EXPECT_EQ(
      doc.Serialize(),
      std::string(kDecl) + "<ufinterface><material id=\"1\"/><material id=\"2\"/></ufinterface>");
  EXPECT_EQ(root.FirstChild("material").Attribute("id"), "1");
  EXPECT_TRUE(root.FirstChild("none").IsNull());
  EXPECT_THROW(root.AppendChild(root), Failure);
  XmlDocument other;
  EXPECT_THROW(root.AppendChild(other.CreateElement("x")), Failure);
  EXPECT_THROW(XmlElement().Name(), Failure);
  (void)unplaced;
}

TEST(XmlDocument, NothingReachesStderrOnAnyThread) {
  ::testing::internal::CaptureStderr();
  std::thread worker([] {
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadXml("<a><b></a>"));
    // The external subset is never loaded; the entity it might declare reads as nothing.
    ASSERT_TRUE(doc.LoadXml("<!DOCTYPE a SYSTEM \"http://127.0.0.1:1/x.dtd\"><a>1&x;2</a>"));
    EXPECT_EQ(doc.Root().Text(), "12");
    ASSERT_TRUE(doc.LoadXml("<a/>"));
    EXPECT_THROW(doc.Root().Select("]["), Failure);
    EXPECT_THROW(doc.Root().Select("$undefined"), Failure);
  });
  worker.join();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(XmlDocument, SetRootReplacesTheRoot) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<old><x/></old>"));
  XmlElement old = doc.Root();
  XmlElement fresh = doc.CreateElement("new");
  doc.SetRoot(fresh);
  EXPECT_EQ(doc.Root(), fresh);
  EXPECT_EQ(old.FirstChild("x").Name(), "x");
  EXPECT_EQ(doc.Serialize(), std::string(kDecl) + "<new/>");
  EXPECT_TRUE(doc.Root().Select("/old").empty());
}

TEST(XmlDocument, MovesKeepTheDocument) {
  XmlDocument a;
  ASSERT_TRUE(a.LoadXml("<r/>"));
  XmlDocument b(std::move(a));
  EXPECT_EQ(b.Root().Name(), "r");
  XmlDocument c;
  c = std::move(b);
  EXPECT_EQ(c.Serialize(), std::string(kDecl) + "<r/>");
}

}  // namespace
}  // namespace quillor
