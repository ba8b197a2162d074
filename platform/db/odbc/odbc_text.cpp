#include "platform/db/odbc/odbc_text.h"

#include "platform/base/text.h"

namespace quillor::odbc {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point starting at text[i], advancing i; malformed or overlong sequences and
// encoded surrogates give the replacement character and consume one byte.
char32_t NextCodePoint(std::string_view text, size_t& i) {
  const Utf8Char c = DecodeUtf8(text, i);
  if (c.length == 0) {
    ++i;
    return kReplacement;
  }
  i += c.length;
  return c.code;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace quillor::odbc
