// Writing XML straight into a text, for replies too large to be built as a tree
// first: the elements go into one growing text as they are made, each name
// checked once when it is made, each text escaped in bulk.
//
// The bytes are those the document serialisation writes for the same elements:
// an empty element as <name/>, in text the characters & < > and carriage return
// as references, everything else (line feeds, tabs, quotes, characters beyond
// ASCII) as it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillor {

// An element name, checked and with its tags made once. A name that is not a
// valid XML name is a failure, as creating an element of that name is.
class XmlName {
 public:
  explicit XmlName(std::string_view name);

  const std::string& name() const { return name_; }
  const std::string& start_tag() const { return start_; }  // <name>
  const std::string& end_tag() const { return end_; }      // </name>
  const std::string& empty_tag() const { return empty_; }  // <name/>

 private:
  std::string name_;
  std::string start_;
  std::string end_;
  std::string empty_;
};

// Appends text as element content.
void AppendXmlText(std::string& out, std::string_view text);

// Appends text as the value of a double-quoted attribute.
void AppendXmlAttributeValue(std::string& out, std::string_view text);

// Writes elements into a text that the caller owns. An element's start tag stays
// open for attributes until its first child or its end.
class XmlTextWriter {
 public:
  explicit XmlTextWriter(std::string& out) : out_(out) {}

  std::string& text() { return out_; }

  void StartElement(const XmlName& name);
  // Only while the start tag is open (before any child). The name is the caller's
  // to get right.
  void Attribute(std::string_view name, std::string_view value);
  // A child holding only text: <name>text</name>, or <name/> for empty text.
  void TextElement(const XmlName& name, std::string_view text);
  // Ends the innermost open element: /> when nothing was written inside it.
  void EndElement();

  bool InElement() const { return !open_.empty(); }

 private:
  void CloseStartTag();

  std::string& out_;
  std::vector<const XmlName*> open_;
  bool start_tag_open_ = false;
};

}  // namespace quillor
