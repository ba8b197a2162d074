// For tests that build requests: a value as XML text, so that what a test sends
// is the value it means whatever characters it holds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor::testing {

// The text with &, <, > and " written as entities; fit for element text and for
// attribute values in double quotes.
inline std::string EscapeXml(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The envelope of a request: its root element and the root's attributes.
struct RequestHead {
  std::string_view root = "ufinterface";
  std::string_view proc = "ADD";
  std::string_view docid = "d1";
  std::string_view roottag = "material";
  std::optional<std::string_view> paginate = std::nullopt;  // no attribute when none
};

// A whole request: the head's attribute values escaped, content (XML already)
// inside the root.
inline std::string RequestXml(const RequestHead& head, std::string_view content) {
  std::string xml = "<" + std::string(head.root) + " roottag=\"" + EscapeXml(head.roottag) +
                    "\" docid=\"" + EscapeXml(head.docid) + "\" proc=\"" + EscapeXml(head.proc) +
                    "\"";
  if (head.paginate) xml += " paginate=\"" + EscapeXml(*head.paginate) + "\"";
  return xml + ">" + std::string(content) + "</" + std::string(head.root) + ">";
}

}  // namespace quillor::testing
