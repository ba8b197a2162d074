// Which texts an XML 1.0 document can carry and give back unchanged.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillor {

// The offset of the first byte that is not well-formed UTF-8 (a stray
// continuation byte, a cut-short sequence, an overlong form, a surrogate, a code
// beyond U+10FFFF), or npos when the whole text is UTF-8.
size_t FirstInvalidUtf8Byte(std::string_view text);

// The offset of the first byte where the text stops being carriable by XML 1.0:
// bytes that are no UTF-8, or a character outside XML's Char production (NUL and
// the other controls but tab, line feed and carriage return; U+FFFE, U+FFFF).
// npos when every character can be written into a document and read back.
size_t FirstUncarriableByte(std::string_view text);

// The offset of the '>' that closes the markup (a start tag, a type declaration)
// read from `from`: outside quoted values and, for a type declaration, outside
// its internal subset in brackets. npos when the text ends first.
size_t MarkupEnd(std::string_view text, size_t from);

inline bool IsXmlCarriable(std::string_view text) {
  return FirstUncarriableByte(text) == std::string_view::npos;
}

}  // namespace quillor
