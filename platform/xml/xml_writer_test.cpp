// Writing XML as text: escaping, empty elements, names, and the same bytes as the
// document serialisation writes for the same elements.
#include "platform/xml/xml_writer.h"

#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "platform/xml/xml.h"

namespace quillor {
namespace {

using namespace std::string_literals;

// The element <v> holding the text, as the tree serialises it (declaration cut off).
std::string ThroughTheTree(std::string_view text) {
  XmlDocument doc;
  XmlElement root = doc.CreateElement("r");
  doc.SetRoot(root);
  root.AppendTextChild("v", text);
  const std::string whole = doc.Serialize();
  return whole.substr(whole.find('\n') + 1);
}

std::string ThroughTheWriter(std::string_view text) {
  std::string out;
  XmlTextWriter writer(out);
  const XmlName r("r");
  const XmlName v("v");
  writer.StartElement(r);
  writer.TextElement(v, text);
  writer.EndElement();
  return out;
}

TEST(XmlTextWriter, TextIsEscapedAsTheTreeWritesIt) {
  struct Case {
    std::string text;
    std::string written;
  };
  const Case cases[] = {
      {"", "<r><v/></r>"},
      {"plain", "<r><v>plain</v></r>"},
      {"a&b<c>d", "<r><v>a&amp;b&lt;c&gt;d</v></r>"},
      {"&&<<", "<r><v>&amp;&amp;&lt;&lt;</v></r>"},
      {"]]>", "<r><v>]]&gt;</v></r>"},
      {"line\r\nnext\ttab", "<r><v>line&#13;\nnext\ttab</v></r>"},
      {"\"quoted\" 'single'", "<r><v>\"quoted\" 'single'</v></r>"},
      {"成功 ünï", "<r><v>成功 ünï</v></r>"},
      {"&amp; stays text", "<r><v>&amp;amp; stays text</v></r>"},
      {"-12.5", "<r><v>-12.5</v></r>"},
      {" ", "<r><v> </v></r>"},
      // A text node holds a C string: nothing after a NUL was ever written.
      {"ab\0cd"s, "<r><v>ab</v></r>"},
      {"\0cd"s, "<r><v></v></r>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ThroughTheWriter(c.text), c.written);
    EXPECT_EQ(ThroughTheTree(c.text), c.written);
  }
}

TEST(XmlTextWriter, EveryByteAsTheTreeWritesIt) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(ThroughTheWriter(all), ThroughTheTree(all));
  // A long text with references throughout: the runs between them are copied whole.
  std::string long_text;
  for (int i = 0; i < 5000; ++i) long_text += "value " + std::to_string(i) + " & <more>\r";
  EXPECT_EQ(ThroughTheWriter(long_text), ThroughTheTree(long_text));
}

TEST(XmlTextWriter, ElementsAttributesAndNesting) {
  std::string out = "<root>";
  XmlTextWriter writer(out);
  const XmlName row("q");
  const XmlName field("free1");
  writer.StartElement(row);
  writer.Attribute("xmlns", "");
  writer.Attribute("id", "1");
  writer.TextElement(field, "x");
  writer.TextElement(field, "");
  writer.EndElement();
  writer.StartElement(row);
  writer.Attribute("note", "a\"b<c>&\t\n\r");
  writer.EndElement();
  EXPECT_FALSE(writer.InElement());
  EXPECT_EQ(out,
            "<root><q xmlns=\"\" id=\"1\"><free1>x</free1><free1/></q>"
            "<q note=\"a&quot;b&lt;c&gt;&amp;&#9;&#10;&#13;\"/>");

  // An attribute after a child, or an end with nothing open, is the caller's mistake.
  writer.StartElement(row);
  writer.TextElement(field, "x");
  EXPECT_THROW(writer.Attribute("id", "2"), Failure);
  writer.EndElement();
  EXPECT_THROW(writer.EndElement(), Failure);
}

TEST(XmlName, InvalidNamesFailAsCreatingTheElementDoes) {
  for (const std::string& bad : {""s, "1abc"s, "a b"s, "a<b"s, "a\0b"s, "-x"s}) {
    SCOPED_TRACE(bad);
    try {
      XmlName name(bad);
      ADD_FAILURE() << "accepted";
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), failure_numbers::kFail);
      EXPECT_EQ(f.description(), "'" + bad + "' is not a valid element name");
    }
  }
  const XmlName ok("ns:material_1.x-y");
  EXPECT_EQ(ok.start_tag(), "<ns:material_1.x-y>");
  EXPECT_EQ(ok.end_tag(), "</ns:material_1.x-y>");
  EXPECT_EQ(ok.empty_tag(), "<ns:material_1.x-y/>");
}

}  // namespace
}  // namespace quillor
