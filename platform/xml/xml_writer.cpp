#include "platform/xml/xml_writer.h"

#include <array>
#include <climits>
#include <string_view>
#include <utility>

#include "platform/base/failure.h"
#include "platform/xml/xml.h"

namespace quillor {
namespace {

// The references written for the bytes that are escaped, in text and attribute
// values alike.
constexpr std::pair<char, std::string_view> kReferences[] = {
    {'&', "&amp;"},  {'<', "&lt;"},  {'>', "&gt;"},   {'\r', "&#13;"},
    {'"', "&quot;"}, {'\t', "&#9;"}, {'\n', "&#10;"},
};

using EscapeTable = std::array<std::string_view, 256>;

// The reference of each byte in `escaped`; every other byte is copied as it is.
constexpr EscapeTable EscapesOf(std::string_view escaped) {
  EscapeTable table{};
  for (const char c : escaped) {
    for (const auto& [byte, reference] : kReferences) {
      if (byte == c) table[static_cast<unsigned char>(c)] = reference;
    }
    // A byte without a reference stops the build rather than going out unescaped.
    if (table[static_cast<unsigned char>(c)].empty()) throw "a byte without a reference";
  }
  return table;
}
constexpr EscapeTable kTextEscapes = EscapesOf("&<>\r");
constexpr EscapeTable kAttributeEscapes = EscapesOf("&<>\"\t\n\r");

// Copies runs of ordinary bytes in one go. A NUL ends the text itself: a text node
// holds a C string, so the serialised tree never showed what follows.
void AppendEscaped(std::string& out, std::string_view text, const EscapeTable& escapes) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* run = p;
    while (p < end && *p != '\0' && escapes[static_cast<unsigned char>(*p)].empty()) ++p;
    out.append(run, static_cast<size_t>(p - run));
    if (p == end || *p == '\0') return;
    out.append(escapes[static_cast<unsigned char>(*p)]);
    ++p;
  }
}

}  // namespace

XmlName::XmlName(std::string_view name) : name_(name) {
  if (name_.empty() || name_.size() > static_cast<size_t>(INT_MAX) ||
      name_.find('\0') != std::string::npos || !IsXmlName(name_)) {
    throw Failure(failure_numbers::kFail, "'" + name_ + "' is not a valid element name");
  }
  start_ = "<" + name_ + ">";
  end_ = "</" + name_ + ">";
  empty_ = "<" + name_ + "/>";
}

void AppendXmlText(std::string& out, std::string_view text) {
  AppendEscaped(out, text, kTextEscapes);
}

void AppendXmlAttributeValue(std::string& out, std::string_view text) {
  AppendEscaped(out, text, kAttributeEscapes);
}

void XmlTextWriter::CloseStartTag() {
  if (start_tag_open_) {
    out_ += '>';
    start_tag_open_ = false;
  }
}

void XmlTextWriter::StartElement(const XmlName& name) {
  CloseStartTag();
  out_ += '<';
  out_ += name.name();
  open_.push_back(&name);
  start_tag_open_ = true;
}

void XmlTextWriter::Attribute(std::string_view name, std::string_view value) {
  if (!start_tag_open_) {
    throw Failure(failure_numbers::kFail, "An attribute can only be written in a start tag");
  }
  out_ += ' ';
  out_ += name;
  out_ += "=\"";
  AppendXmlAttributeValue(out_, value);
  out_ += '"';
}

void XmlTextWriter::TextElement(const XmlName& name, std::string_view text) {
  CloseStartTag();
  if (text.empty()) {
    out_ += name.empty_tag();
    return;
  }
  out_ += name.start_tag();
  AppendXmlText(out_, text);
  out_ += name.end_tag();
}

void XmlTextWriter::EndElement() {
  if (open_.empty()) throw Failure(failure_numbers::kFail, "No element is open");
  if (start_tag_open_) {
    out_ += "/>";
    start_tag_open_ = false;
  } else {
    out_ += open_.back()->end_tag();
  }
  open_.pop_back();
}

}  // namespace quillor
