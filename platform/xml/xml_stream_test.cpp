// The streamed reads of a request against the whole-document parse: the same
// texts accepted, the same root attributes, the same elements in the same order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/base/failure.h"
#include "platform/xml/xml.h"

namespace quillor {
namespace {

// An element as the component reads it: its name, its attributes of interest,
// its text, and the same of its child elements.
std::string Describe(XmlElement e) {
  std::string out = e.Name() + "[";
  for (const char* name : {"id", "roottag", "docid", "proc", "quantity", "a"}) {
    if (auto v = e.Attribute(name)) out += std::string(name) + "=" + *v + ";";
  }
  out += "]{" + e.Text() + "}";
  for (XmlElement c : e.ChildElements()) out += "(" + Describe(c) + ")";
  return out;
}

std::string Repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

void ExpectSameAsWhole(const std::string& text) {
  SCOPED_TRACE(text.size() > 300 ? text.substr(0, 300) + "..." : text);
  XmlDocument whole;
  XmlDocument root_only;
  const bool loads = whole.LoadXml(text);
  ASSERT_EQ(root_only.LoadRootOnly(text), loads) << whole.ParseError() << root_only.ParseError();
  for (const bool choose_root_only : {true, false}) {
    XmlDocument chosen;
    EXPECT_EQ(chosen.LoadWholeOrRootOnly(text, [&](XmlElement) { return choose_root_only; }), loads)
        << chosen.ParseError();
  }
  if (!loads) return;
  XmlElement root = root_only.Root();
  ASSERT_TRUE(root);
  EXPECT_TRUE(root.ChildElements().empty());
  const std::string described = Describe(root);
  EXPECT_EQ(described.substr(0, described.find('{')),
            Describe(whole.Root()).substr(0, Describe(whole.Root()).find('{')));

  // The envelope read from the start tag alone: the same root, nothing beneath it.
  XmlDocument start;
  ASSERT_TRUE(start.LoadRootStart(text)) << start.ParseError();
  EXPECT_TRUE(start.Root().ChildElements().empty());
  EXPECT_EQ(Describe(start.Root()), described.substr(0, described.find('{')) + "{}");

  // Read once and chosen at the start tag: the choice sees the same root, is
  // asked once, and leaves what LoadRootOnly leaves or what LoadXml builds.
  for (const bool choose_root_only : {true, false}) {
    XmlDocument chosen;
    int asked = 0;
    ASSERT_TRUE(chosen.LoadWholeOrRootOnly(text, [&](XmlElement r) {
      ++asked;
      EXPECT_EQ(Describe(r).substr(0, Describe(r).find('{')),
                described.substr(0, described.find('{')));
      return choose_root_only;
    })) << chosen.ParseError();
    EXPECT_EQ(asked, 1);
    if (choose_root_only) {
      EXPECT_EQ(Describe(chosen.Root()), described.substr(0, described.find('{')) + "{}");
    } else {
      EXPECT_EQ(Describe(chosen.Root()), Describe(whole.Root()));
      EXPECT_EQ(chosen.SerializeAsLoaded(), whole.SerializeAsLoaded());
      EXPECT_EQ(chosen.Serialize(), whole.Serialize());
    }
  }

  std::vector<std::string> expected;
  for (XmlElement m : whole.Root().Select("material")) expected.push_back(Describe(m));
  std::vector<std::string> streamed;
  XmlDocument::ForEachRootChild(text, "material",
                                [&](XmlElement m) { streamed.push_back(Describe(m)); });
  EXPECT_EQ(streamed, expected);
}

TEST(XmlStreamTest, AcceptsAndGivesWhatTheWholeDocumentGives) {
  const std::string big = [] {
    std::string t = "<r proc=\"ADD\">";
    for (int i = 0; i < 6000; ++i) {
      t += "<material id=\"" + std::to_string(i) + "\"><departmentno>部门" + std::to_string(i) +
           "</departmentno><!-- c --><quantity>" + std::to_string(i % 7) +
           "</quantity></material>\n  ";
    }
    return t + "</r>";
  }();
  const std::string laughs =
      "<!DOCTYPE r [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
      "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">"
      "]><r><material>&g;</material></r>";
  const std::string cases[] = {
      R"(<r roottag="material" docid="d" proc="ADD"><material id="1"><quantity>3</quantity></material>)"
      R"(<?pi x?> text <![CDATA[<material/>]]><material id="2" quantity="4"/></r>)",
      "<!DOCTYPE r [<!ENTITY m \"<material id='e'><quantity>3</quantity></material>\">]>"
      "<r proc=\"ADD\">&m;<material id=\"1\"/>&m;</r>",
      "<!DOCTYPE r [<!ENTITY m \"<material id='e'/>\">]><r proc=\"ADD\"><x/>&m;</r>",
      "<!DOCTYPE r [<!ENTITY q \"7\"><!ATTLIST material id CDATA \"dflt\">"
      "<!ATTLIST r proc CDATA \"add\">]><r a=\"&q;x\"><material/><material "
      "id=\"&q;\">&q;</material></r>",
      "<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><r><material>&e;</material>&e;</r>",
      R"(<r xmlns="urn:x"><material id="1"/></r>)",
      R"(<r xmlns:p="urn:p"><p:material id="1"/><material id="2"/></r>)",
      R"(<r><q:material id="1"/><material id="2"/></r>)",
      R"(<r><a><material id="1"/></a><material id="2"><material id="3"/></material></r>)",
      R"(<material id="0"><material id="1"/></material>)",
      "\xEF\xBB\xBF<r><material id=\"bom\"/></r>",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xC3\xA9\"><material/></r>",
      "<r/>",
      "<!-- before --><r><material id=\"1\"/></r><!-- after --><?pi?>",
      big,
      // Start tags longer than the pieces the text is fed in, with '>' and the
      // other quote inside their values.
      "<r a=\"" + Repeat("x>'", 70'000) + "\" b='" + Repeat(">\"", 40'000) +
          "'><material id=\"1\" quantity=\"" + std::string(100'000, '>') + "\"/></r>",
      "<r a='" + std::string(300'000, '>') + "'/>",
      // Not well-formed, each in its own way.
      "",
      "   ",
      "<r><material></r>",
      "<r/><r/>",
      "<r>&undefined;</r>",
      "<r a=\"1\" a=\"2\"/>",
      "<r><material/></r>trailing",
      "<r>\xC3\x28</r>",
      "<r><material id=\"1\"/>" + std::string(1000, ' '),
      laughs,
      "<r a=\"" + std::string(200'000, '>'),
      "<r a=\"1\"><material id='" + std::string(200'000, '>') + "></r>",
      // One text past the parser's limit for a text node.
      "<r><material><departmentno>" + std::string(11u << 20, 'D') +
          "</departmentno></material></r>",
  };
  for (const std::string& text : cases) ExpectSameAsWhole(text);
}

TEST(XmlStreamTest, ChosenRootOnlyTheBoundIsOneChildsAndWholeItIsTheDocuments) {
  // Twenty children of three nodes each: 61 nodes in all, none above 3 alone.
  std::string text = "<r>";
  for (int i = 0; i < 20; ++i) text += "<material id=\"" + std::to_string(i) + "\"><q/></material>";
  text += "</r>";
  for (const bool root_only : {true, false}) {
    XmlDocument doc;
    doc.SetMostNodes(10);
    EXPECT_EQ(doc.LoadWholeOrRootOnly(text, [&](XmlElement) { return root_only; }), root_only)
        << doc.ParseError();
  }
  XmlDocument fits;
  fits.SetMostNodes(61);
  EXPECT_TRUE(fits.LoadWholeOrRootOnly(text, [](XmlElement) { return false; }));
}

TEST(XmlStreamTest, AFailureOfTheChoiceEndsTheReadAndIsPassedOn) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<old/>"));
  EXPECT_THROW(doc.LoadWholeOrRootOnly(
                   R"(<r proc="ADD"><material/></r>)",
                   [](XmlElement) -> bool { throw Failure(failure_numbers::kFail, "no choice"); }),
               Failure);
  EXPECT_FALSE(doc.HasRoot());
  // Not asked at all for a text without a root.
  bool asked = false;
  EXPECT_FALSE(doc.LoadWholeOrRootOnly("<!-- no root -->", [&](XmlElement) {
    asked = true;
    return true;
  }));
  EXPECT_FALSE(asked);
}

TEST(XmlStreamTest, TheRootStartIsJudgedAsFarAsItGoes) {
  for (const char* refused : {"", "   ", "<!-- open", "<r a=\"1\" a=\"2\"/>", "<r a='&x;'>",
                              "junk<r/>", "<!-- only a comment -->"}) {
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadRootStart(refused)) << refused;
    EXPECT_FALSE(doc.ParseError().empty()) << refused;
  }
  // What follows the start tag is for the whole-document read to judge, and is
  // not read: a fault far past it goes unseen.
  XmlDocument doc;
  ASSERT_TRUE(
      doc.LoadRootStart("<r proc=\"QUERY\"><material>" + std::string(200000, ' ') + "</r>"));
  EXPECT_EQ(doc.Root().Attribute("proc"), "QUERY");
  EXPECT_TRUE(doc.Root().ChildElements().empty());
}

TEST(XmlStreamTest, TheRequestsOfTheFuzzCorpusReadTheSameStreamed) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QUILLOR_SOURCE_DIR) +
                                                               "/fuzz/corpus/transact")) {
    std::ifstream in(entry.path(), std::ios::binary);
    ExpectSameAsWhole(std::string(std::istreambuf_iterator<char>(in), {}));
    ++files;
  }
  EXPECT_GT(files, 5);
}

TEST(XmlStreamTest, EachElementIsGoneBeforeTheNextIsHandedOver) {
  std::string text = "<r>";
  for (int i = 0; i < 3; ++i) text += "<material id=\"" + std::to_string(i) + "\"/>";
  text += "</r>";
  std::vector<std::string> ids;
  XmlDocument::ForEachRootChild(text, "material", [&](XmlElement m) {
    ids.push_back(*m.Attribute("id"));
    // Handed over alone: no parent element holds the ones before it.
    EXPECT_TRUE(m.Select("preceding-sibling::*").empty());
  });
  EXPECT_EQ(ids, (std::vector<std::string>{"0", "1", "2"}));
}

TEST(XmlStreamTest, AFailureOfTheCallerEndsTheReadingAndIsPassedOn) {
  const std::string text = R"(<r><material id="1"/><material id="2"/><material id="3"/></r>)";
  int seen = 0;
  EXPECT_THROW(XmlDocument::ForEachRootChild(text, "material",
                                             [&](XmlElement) {
                                               if (++seen == 2) {
                                                 throw Failure(failure_numbers::kFail, "stop");
                                               }
                                             }),
               Failure);
  EXPECT_EQ(seen, 2);
}

}  // namespace
}  // namespace quillor

namespace quillor {
namespace {

// A reply whose items are held as text reads exactly as one whose items stayed
// in the tree.
TEST(XmlHeldChildrenTest, SerialiseExactlyAsChildrenInTheTree) {
  const std::vector<std::string> messages = {"成功",
                                             "",
                                             "a\"b<c>&d'e",
                                             "line\nbreak\r\ttab",
                                             "  blanks  ",
                                             "]]> and &amp;",
                                             "\xC3\x28 bad bytes"};
  for (const char* tmpl : {"<reply docid=\"d\" proc=\"ADD\"/>", "<reply>text<kept/></reply>",
                           "<!DOCTYPE reply><p:reply xmlns:p=\"urn:p\"/>"}) {
    SCOPED_TRACE(tmpl);
    XmlDocument tree;
    XmlDocument held;
    ASSERT_TRUE(tree.LoadXml(tmpl));
    ASSERT_TRUE(held.LoadXml(tmpl));
    for (size_t i = 0; i < messages.size(); ++i) {
      for (XmlDocument* doc : {&tree, &held}) {
        XmlElement item = doc->CreateElement("item");
        item.SetAttribute("id", std::to_string(i));
        item.SetAttribute("message", messages[i]);
        if (doc == &tree) {
          doc->Root().AppendChild(item);
        } else {
          doc->AppendToRootAsText(item);
        }
      }
    }
    EXPECT_EQ(held.Serialize(), tree.Serialize());
    // Bytes that are no UTF-8 are written as they came but cannot be read back.
    EXPECT_THROW(held.Root(), Failure);
  }
  for (const char* tmpl : {"<reply docid=\"d\" proc=\"ADD\"/>", "<reply>text<kept/></reply>"}) {
    SCOPED_TRACE(tmpl);
    XmlDocument tree;
    XmlDocument held;
    ASSERT_TRUE(tree.LoadXml(tmpl));
    ASSERT_TRUE(held.LoadXml(tmpl));
    for (size_t i = 0; i + 1 < messages.size(); ++i) {
      for (XmlDocument* doc : {&tree, &held}) {
        XmlElement item = doc->CreateElement("item");
        item.SetAttribute("message", messages[i]);
        if (doc == &tree) {
          doc->Root().AppendChild(item);
        } else {
          doc->AppendToRootAsText(item);
        }
      }
    }
    // Looking at the tree brings the held elements back into it, in their place.
    XmlElement root = held.Root();
    ASSERT_EQ(root.Select("item").size(), messages.size() - 1);
    EXPECT_EQ(*root.Select("item")[2].Attribute("message"), messages[2]);
    XmlElement after = held.CreateElement("after");
    root.AppendChild(after);
    tree.Root().AppendChild(tree.CreateElement("after"));
    EXPECT_EQ(held.Serialize(), tree.Serialize());
  }
}

TEST(XmlHeldChildrenTest, ADocumentWithoutRootRefusesAndAMovedDocumentKeepsThem) {
  XmlDocument empty;
  EXPECT_FALSE(empty.HasRoot());
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml("<r/>"));
  EXPECT_TRUE(doc.HasRoot());
  doc.AppendToRootAsText(doc.CreateElement("a"));
  XmlDocument moved = std::move(doc);
  EXPECT_EQ(moved.Serialize(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r><a/></r>");
  ASSERT_TRUE(moved.LoadXml("<s/>"));  // a new content holds nothing of the old
  EXPECT_EQ(moved.Serialize(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<s/>");
}

}  // namespace
}  // namespace quillor
