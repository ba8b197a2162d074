#include "platform/xml/xml_text.h"

#include <cstdint>

#include "platform/base/text.h"

namespace quillor {
namespace {

constexpr size_t kNone = std::string_view::npos;

bool IsXmlChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

}  // namespace

size_t FirstInvalidUtf8Byte(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    // Runs of ASCII, the common case, one byte at a time without decoding.
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const Utf8Char d = DecodeUtf8(text, i);
    if (d.length == 0) return i;
    i += d.length;
  }
  return kNone;
}

size_t FirstUncarriableByte(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b >= 0x20 && b < 0x80) {
      ++i;
      continue;
    }
    const Utf8Char d = DecodeUtf8(text, i);
    if (d.length == 0 || !IsXmlChar(d.code)) return i;
    i += d.length;
  }
  return kNone;
}

size_t MarkupEnd(std::string_view text, size_t from) {
  char quote = 0;
  int depth = 0;
  for (size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']' && depth > 0) {
      --depth;
    } else if (c == '>' && depth == 0) {
      return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace quillor
