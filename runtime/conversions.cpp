#include "runtime/conversions.h"

#include <charconv>
#include <cmath>
#include <string>

#include "platform/base/failure.h"
#include "platform/base/text.h"

namespace quillor {
namespace {

// The characters the original runtime passes over wherever they stand in a number.
bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Whole number after "&H" or "&O": it takes the narrowest signed type that holds
// its bits (16, then 32), so &HFFFF is -1 and &H10000 is 65536, as the runtime
// reads such literals. More than 32 bits is an overflow.
double RadixNumber(std::string_view text, size_t pos, unsigned radix) {
  uint64_t value = 0;
  for (; pos < text.size(); ++pos) {
    if (IsSkipped(text[pos])) continue;
    const int digit = HexDigitValue(text[pos]);
    if (digit < 0 || static_cast<unsigned>(digit) >= radix) break;
    value = value * radix + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) throw Failure::Overflow();
  }
  if (value <= 0xFFFFu) return static_cast<int16_t>(static_cast<uint16_t>(value));
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

// A decimal number in canonical form ("-123.45e-6") as a double. Past the range
// of a double is an overflow; a value too small for one is 0.
double ParseCanonical(const std::string& text, int magnitude) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    if (magnitude > 0) throw Failure::Overflow();
    return 0;
  }
  if (ec != std::errc() || end != text.data() + text.size() || std::isinf(value)) {
    throw Failure::Overflow();
  }
  return value;
}

// Reads sign, mantissa and exponent of a decimal number starting at pos, skipping
// the runtime's blanks when allow_skip is set. Returns the canonical text, or
// empty when no digit was read; pos ends at the first character not used.
struct Scanned {
  std::string canonical;
  int magnitude = 0;  // decimal position of the leading digit plus the exponent
  bool has_digit = false;
};

Scanned ScanDecimal(std::string_view text, size_t& pos, bool allow_skip) {
  Scanned out;
  auto skip = [&] {
    while (allow_skip && pos < text.size() && IsSkipped(text[pos])) ++pos;
  };
  skip();
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    if (text[pos] == '-') out.canonical += '-';
    ++pos;
  }
  bool seen_point = false;
  bool seen_nonzero = false;
  int leading_position = 0;  // digits before the point, from the first non-zero one
  for (;;) {
    skip();
    if (pos >= text.size()) break;
    const char c = text[pos];
    if (IsDigit(c)) {
      out.has_digit = true;
      if (c != '0' && !seen_nonzero) seen_nonzero = true;
      if (!seen_point && seen_nonzero) ++leading_position;
      if (seen_point && !seen_nonzero) --leading_position;
      out.canonical += c;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
      out.canonical += '.';
    } else {
      break;
    }
    ++pos;
  }
  if (!out.has_digit) return out;
  if (out.canonical.back() == '.') out.canonical.pop_back();

  // The exponent counts only when at least one digit follows its letter.
  size_t exp_pos = pos;
  auto skip_exp = [&] {
    while (allow_skip && exp_pos < text.size() && IsSkipped(text[exp_pos])) ++exp_pos;
  };
  skip_exp();
  if (exp_pos < text.size() &&
      (AsciiUpper(text[exp_pos]) == 'E' || AsciiUpper(text[exp_pos]) == 'D')) {
    ++exp_pos;
    skip_exp();
    bool negative = false;
    if (exp_pos < text.size() && (text[exp_pos] == '+' || text[exp_pos] == '-')) {
      negative = text[exp_pos] == '-';
      ++exp_pos;
    }
    long exponent = 0;
    bool exp_digit = false;
    for (;;) {
      skip_exp();
      if (exp_pos >= text.size() || !IsDigit(text[exp_pos])) break;
      exp_digit = true;
      // Saturate: anything this large overflows or vanishes all the same.
      if (exponent < 100000) exponent = exponent * 10 + (text[exp_pos] - '0');
      ++exp_pos;
    }
    if (exp_digit) {
      if (negative) exponent = -exponent;
      out.canonical += 'e';
      out.canonical += std::to_string(exponent);
      out.magnitude = static_cast<int>(exponent);
      pos = exp_pos;
    }
  }
  out.magnitude += seen_nonzero ? leading_position : 0;
  return out;
}

// The blanks the runtime allows around a whole number text: white space.
std::string_view TrimmedBlanks(std::string_view text) { return Trim(text, IsSpace); }

// At least one digit of the radix, and nothing else.
bool IsRadixDigits(std::string_view digits, unsigned radix) {
  if (digits.empty()) return false;
  for (const char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= radix) return false;
  }
  return true;
}

}  // namespace

double LeadingNumber(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && IsSkipped(text[pos])) ++pos;
  if (pos < text.size() && text[pos] == '&') {
    size_t p = pos + 1;
    while (p < text.size() && IsSkipped(text[p])) ++p;
    if (p < text.size() && AsciiUpper(text[p]) == 'H') return RadixNumber(text, p + 1, 16);
    if (p < text.size() && AsciiUpper(text[p]) == 'O') return RadixNumber(text, p + 1, 8);
    return 0;
  }
  const Scanned scanned = ScanDecimal(text, pos, /*allow_skip=*/true);
  if (!scanned.has_digit) return 0;
  return ParseCanonical(scanned.canonical, scanned.magnitude);
}

int16_t ToInt16(double value) {
  // The default rounding mode rounds halves to the even neighbour.
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) throw Failure::Overflow();
  return static_cast<int16_t>(rounded);
}

bool TotalDiffers(double total, double price, double quantity) {
  // The product and the difference keep the 64-bit significand of the extended
  // format; only the difference is rounded to a double before the comparison.
  const long double product = static_cast<long double>(price) * static_cast<long double>(quantity);
  const long double difference = std::fabs(static_cast<long double>(total) - product);
  const double rounded = static_cast<double>(difference);
  if (std::isinf(rounded)) throw Failure::Overflow();
  return rounded > 0.01;
}

double FullNumber(std::string_view text) {
  const std::string_view inner = TrimmedBlanks(text);
  if (inner.size() >= 2 && inner[0] == '&') {
    const char prefix = AsciiUpper(inner[1]);
    const unsigned radix = prefix == 'H' ? 16 : prefix == 'O' ? 8 : 0;
    if (radix == 0 || !IsRadixDigits(inner.substr(2), radix)) throw Failure::TypeMismatch();
    return RadixNumber(inner, 2, radix);
  }
  size_t pos = 0;
  const Scanned scanned = ScanDecimal(inner, pos, /*allow_skip=*/false);
  if (!scanned.has_digit || pos != inner.size()) throw Failure::TypeMismatch();
  return ParseCanonical(scanned.canonical, scanned.magnitude);
}

int32_t ToInt32(double value) {
  const double rounded = std::nearbyint(value);  // halves to the even neighbour
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) throw Failure::Overflow();
  return static_cast<int32_t>(rounded);
}

bool ToBoolean(const DbValue& value) {
  if (value.IsNull()) return false;
  if (value.IsInteger()) return value.Integer() != 0;
  if (value.IsDouble()) return value.Double() != 0.0;
  const std::string_view text = TrimmedBlanks(value.Text());
  if (EqualsIgnoreCase(text, "true")) return true;
  if (EqualsIgnoreCase(text, "false")) return false;
  return FullNumber(text) != 0.0;
}

}  // namespace quillor
