#include "platform/base/json_string.h"

#include <cstdio>

#include "platform/base/text.h"

namespace quillor {
namespace {

// The value of four hexadecimal digits at text[pos]; -1 when they are not.
int HexQuad(std::string_view text, size_t pos) {
  if (pos + 4 > text.size()) return -1;
  int value = 0;
  for (size_t i = pos; i < pos + 4; ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;  // UTF-8 stays as it is
        }
    }
  }
  out += '"';
  return out;
}

std::optional<std::string> ReadJsonString(std::string_view text, size_t& pos, std::string& why) {
  if (pos >= text.size() || text[pos] != '"') {
    why = "expected a quoted text";
    return std::nullopt;
  }
  std::string out;
  for (++pos; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++pos >= text.size()) break;
    static constexpr std::string_view kEscaped = "\"\\/bfnrt";
    static constexpr std::string_view kMeant = "\"\\/\b\f\n\r\t";
    const size_t simple = kEscaped.find(text[pos]);
    if (simple != std::string_view::npos) {
      out += kMeant[simple];
      continue;
    }
    const int code = text[pos] == 'u' ? HexQuad(text, pos + 1) : -1;
    if (code < 0 || (code >= 0xD800 && code <= 0xDFFF)) {
      why = "unknown escape";
      return std::nullopt;
    }
    AppendUtf8(out, static_cast<char32_t>(code));
    pos += 4;
  }
  why = "unterminated quoted text";
  return std::nullopt;
}

}  // namespace quillor
