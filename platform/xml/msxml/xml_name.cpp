// XML 1.0's Name production (fifth edition), on UTF-8: the engine behind this
// build checks names only when it creates nodes, and the writer checks each name
// before it writes it.
#include <cstdint>

#include "platform/xml/xml.h"

namespace quillor {

namespace {

bool IsNameStart(char32_t c) {
  return c == ':' || (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) ||
         (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
         (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// The next character of well-formed UTF-8, or U+FFFFFFFF for a malformed one.
char32_t NextChar(std::string_view text, size_t& i) {
  const auto b = static_cast<unsigned char>(text[i]);
  int extra = 0;
  char32_t c = 0;
  if (b < 0x80) {
    ++i;
    return b;
  } else if ((b & 0xE0) == 0xC0) {
    extra = 1;
    c = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2;
    c = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3;
    c = b & 0x07;
  } else {
    return 0xFFFFFFFF;
  }
  if (text.size() - i <= static_cast<size_t>(extra)) return 0xFFFFFFFF;  // cut short
  for (int k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
    if ((next & 0xC0) != 0x80) return 0xFFFFFFFF;
    c = (c << 6) | (next & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (c < kLeast[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return 0xFFFFFFFF;
  i += static_cast<size_t>(extra) + 1;
  return c;
}

}  // namespace

bool IsXmlName(std::string_view name) {
  if (name.empty()) return false;
  size_t i = 0;
  bool first = true;
  while (i < name.size()) {
    const char32_t c = NextChar(name, i);
    if (c == 0xFFFFFFFF) return false;
    if (first ? !IsNameStart(c) : !IsNameChar(c)) return false;
    first = false;
  }
  return true;
}

}  // namespace quillor
