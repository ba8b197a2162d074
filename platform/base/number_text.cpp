#include "platform/base/number_text.h"

#include "platform/base/text.h"

namespace quillor {

bool IsPlainNumber(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  bool point = false;
  while (i < n && (IsDigit(text[i]) || (text[i] == '.' && !point))) {
    if (text[i] == '.') {
      point = true;
    } else {
      ++digits;
    }
    ++i;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent_digits = 0;
    while (i < n && IsDigit(text[i])) {
      ++exponent_digits;
      ++i;
    }
    if (exponent_digits == 0) return false;
  }
  while (i < n && IsBlank(text[i])) ++i;
  return i == n;
}

bool IsWholeNumber(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  const size_t first_digit = i;
  while (i < n && IsDigit(text[i])) ++i;
  if (i == first_digit) return false;
  while (i < n && IsBlank(text[i])) ++i;
  return i == n;
}

}  // namespace quillor
