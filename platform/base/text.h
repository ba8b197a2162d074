// The small text operations every layer needs, in ASCII only: statement text,
// connection texts, request values and names are compared and trimmed the same
// way everywhere, whatever the process's locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillor {

constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// The value of a hexadecimal digit in either case; -1 for any other character.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// A blank of a line: space, tab, carriage return, line feed.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// White space as the C library's isspace has it in the C locale (adds \v and \f).
constexpr bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);

// "0x" and eight upper-case hex digits, as status codes and dispatch IDs are written.
std::string HexWord(uint32_t value);

// Digits only, and at least one.
bool AllDigits(std::string_view text);

// text without the characters at either end for which is_blank holds.
std::string_view Trim(std::string_view text, bool (*is_blank)(char) = IsBlank);

// One UTF-8 sequence: its code point and length in bytes; a length of 0 where the
// bytes are no well-formed sequence (a stray continuation byte, a cut-short
// sequence, an overlong form, a surrogate, a code beyond U+10FFFF).
struct Utf8Char {
  char32_t code = 0;
  size_t length = 0;
};
Utf8Char DecodeUtf8(std::string_view text, size_t at);

// Appends a code point (up to U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t code);

}  // namespace quillor
