#include "platform/xml_text.h"

#include <cstdint>

namespace quillor {
namespace {

constexpr size_t kNone = std::string_view::npos;

// Decodes one UTF-8 sequence at text[i]: its code point and length, or a length
// of 0 when the bytes there are no well-formed sequence.
struct Decoded {
  uint32_t code = 0;
  size_t length = 0;
};

Decoded DecodeAt(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return {lead, 1};
  size_t length = 0;
  uint32_t code = 0;
  uint32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return {};
  }
  if (text.size() - i < length) return {};
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {};
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {};
  return {code, length};
}

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
    const Decoded d = DecodeAt(text, i);
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
    const Decoded d = DecodeAt(text, i);
    if (d.length == 0 || !IsXmlChar(d.code)) return i;
    i += d.length;
  }
  return kNone;
}

}  // namespace quillor
