#include "platform/base/db_value.h"

#include <charconv>
#include <system_error>

#include "platform/base/failure.h"
#include "platform/base/number_text.h"
#include "platform/base/text.h"

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
bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }
}  // namespace

bool DbValue::ToBool() const {
  if (IsNull()) return false;
  if (IsInteger()) return Integer() != 0;
  if (IsDouble()) return Double() != 0.0;
  std::string_view text = Trim(Text(), IsSpaceOrTab);
  if (EqualsIgnoreCase(text, "true")) return true;
  if (!IsPlainNumber(text)) return false;
  // from_chars reads the full stop whatever the locale, but takes no plus sign.
  if (text.front() == '+') text.remove_prefix(1);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value != 0.0;
}

}  // namespace quillor
