#include "runtime/value_text.h"

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

std::string ValueText(const DbValue& value) {
  if (value.IsNull()) throw Failure::InvalidUseOfNull();
  if (value.IsInteger()) return std::to_string(value.Integer());
  if (value.IsDouble()) return ShortestDoubleText(value.Double());
  return value.Text();
}

namespace {
bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }
}  // namespace

bool ValueTruth(const DbValue& value) {
  if (value.IsNull()) return false;
  if (value.IsInteger()) return value.Integer() != 0;
  if (value.IsDouble()) return value.Double() != 0.0;
  std::string_view text = Trim(value.Text(), IsSpaceOrTab);
  if (EqualsIgnoreCase(text, "true")) return true;
  if (!IsPlainNumber(text)) return false;
  // from_chars reads the full stop whatever the locale, but takes no plus sign.
  if (text.front() == '+') text.remove_prefix(1);
  double number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  return number != 0.0;
}

}  // namespace quillor
