#include "platform/db_value.h"

#include <charconv>
#include <system_error>

#include "platform/failure.h"
#include "platform/sql_literal.h"

namespace quillor {

std::string ShortestDoubleText(double value) {
  // The host's runtime never writes a negative zero.
  if (value == 0.0) return "0";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) return "0";  // cannot happen: 64 bytes hold any double
  return std::string(buf, end);
}

std::string DbValue::ToText() const {
  if (IsNull()) throw Failure::InvalidUseOfNull();
  if (IsInteger()) return std::to_string(Integer());
  if (IsDouble()) return ShortestDoubleText(Double());
  return Text();
}

namespace {
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}
}  // namespace

bool DbValue::ToBool() const {
  if (IsNull()) return false;
  if (IsInteger()) return Integer() != 0;
  if (IsDouble()) return Double() != 0.0;
  std::string_view text = Trimmed(Text());
  if (EqualsIgnoringCase(text, "true")) return true;
  if (!IsPlainNumber(text)) return false;
  // from_chars reads the full stop whatever the locale, but takes no plus sign.
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value != 0.0;
}

}  // namespace quillor
