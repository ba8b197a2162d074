#include "query/page_size.h"

#include <charconv>
#include <cmath>
#include <string>

#include "platform/failure.h"

namespace quillor {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t PageSizeFromText(const std::optional<std::string>& paginate) {
  if (!paginate) throw Failure::InvalidUseOfNull();
  std::string_view text = *paginate;
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  // from_chars takes a minus sign but not a plus sign, and it would also take
  // "inf" and "nan", which are no numbers here.
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const size_t first = !text.empty() && text.front() == '-' ? 1 : 0;
  if (first >= text.size() || !(IsDigit(text[first]) || text[first] == '.')) {
    throw Failure::TypeMismatch();
  }

  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) throw Failure::Overflow();
  if (error != std::errc() || end != text.data() + text.size()) throw Failure::TypeMismatch();

  const double whole = std::nearbyint(value);  // the default mode rounds halves to even
  if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) throw Failure::Overflow();
  return static_cast<int32_t>(whole);
}

}  // namespace quillor
