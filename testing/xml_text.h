// For tests that build requests: a value as XML text, so that what a test sends
// is the value it means whatever characters it holds.
#pragma once

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

}  // namespace quillor::testing
