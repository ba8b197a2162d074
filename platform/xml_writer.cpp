#include "platform/xml_writer.h"

#include <libxml/tree.h>

#include <array>
#include <climits>

#include "platform/failure.h"

namespace quillor {
namespace {

// The bytes that end a run of text copied as it is. A NUL ends the text itself:
// a text node holds a C string, so the serialised tree never showed what follows.
constexpr std::array<bool, 256> SpecialBytes(std::string_view specials) {
  std::array<bool, 256> table{};
  table[0] = true;
  for (char c : specials) table[static_cast<unsigned char>(c)] = true;
  return table;
}
constexpr std::array<bool, 256> kTextSpecial = SpecialBytes("&<>\r");
constexpr std::array<bool, 256> kAttributeSpecial = SpecialBytes("&<>\"\t\n\r");

// Copies runs of ordinary bytes in one go; `escape` gives the reference for a
// special byte other than NUL.
template <typename Escape>
void AppendEscaped(std::string& out, std::string_view text, const std::array<bool, 256>& special,
                   Escape escape) {
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    const char* run = p;
    while (p < end && !special[static_cast<unsigned char>(*p)]) ++p;
    out.append(run, static_cast<size_t>(p - run));
    if (p == end || *p == '\0') return;
    out.append(escape(*p));
    ++p;
  }
}

std::string_view TextReference(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    default:
      return "&#13;";
  }
}

std::string_view AttributeReference(char c) {
  switch (c) {
    case '"':
      return "&quot;";
    case '\t':
      return "&#9;";
    case '\n':
      return "&#10;";
    default:
      return TextReference(c);
  }
}

}  // namespace

XmlName::XmlName(std::string_view name) : name_(name) {
  if (name_.empty() || name_.size() > static_cast<size_t>(INT_MAX) ||
      xmlValidateName(reinterpret_cast<const xmlChar*>(name_.c_str()), 0) != 0 ||
      name_.find('\0') != std::string::npos) {
    throw Failure(failure_numbers::kFail, "'" + name_ + "' is not a valid element name");
  }
  start_ = "<" + name_ + ">";
  end_ = "</" + name_ + ">";
  empty_ = "<" + name_ + "/>";
}

void AppendXmlText(std::string& out, std::string_view text) {
  AppendEscaped(out, text, kTextSpecial, TextReference);
}

void AppendXmlAttributeValue(std::string& out, std::string_view text) {
  AppendEscaped(out, text, kAttributeSpecial, AttributeReference);
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
