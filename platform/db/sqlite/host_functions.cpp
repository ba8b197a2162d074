#include "platform/db/sqlite/host_functions.h"
#include "platform/base/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace quillor::sqlite {
namespace {

// A text as the host engine reads it when it meets a number: blanks around it,
// a sign, digits with at most one full stop, an exponent; empty text is 0.
std::optional<double> TextAsNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return 0.0;
  if (text.front() == '+') text.remove_prefix(1);
  const size_t first = !text.empty() && text.front() == '-' ? 1 : 0;
  // from_chars would also take "inf" and "nan".
  if (first >= text.size() || !(IsDigit(text[first]) || text[first] == '.')) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string_view TextOf(const void* data, int size) {
  return {static_cast<const char*>(data), static_cast<size_t>(size)};
}

int CompareAsNumbers(void*, int size_a, const void* a, int size_b, const void* b) {
  const std::optional<double> x = TextAsNumber(TextOf(a, size_a));
  const std::optional<double> y = TextAsNumber(TextOf(b, size_b));
  if (x && y) return *x < *y ? -1 : (*x > *y ? 1 : 0);
  if (x) return -1;
  if (y) return 1;
  const int common = std::memcmp(a, b, static_cast<size_t>(std::min(size_a, size_b)));
  if (common != 0) return common;
  return size_a < size_b ? -1 : (size_a > size_b ? 1 : 0);
}

// A whole number right-aligned in ten places, or ten asterisks when it needs more.
std::string TenColumns(std::string digits) {
  if (digits.size() > 10) return std::string(10, '*');
  return std::string(10 - digits.size(), ' ') + digits;
}

std::string WholeDigits(double value) {
  if (!std::isfinite(value)) return std::string(11, '*');
  const double rounded = std::round(value);  // halves away from zero
  char buf[400];                             // room for the largest double written out in full
  std::snprintf(buf, sizeof buf, "%.0f", rounded == 0 ? 0.0 : rounded);
  return buf;
}

void Str(sqlite3_context* context, int, sqlite3_value** args) {
  sqlite3_value* x = args[0];
  const int type = sqlite3_value_type(x);
  if (type == SQLITE_NULL) return sqlite3_result_null(context);
  std::string digits;
  if (type == SQLITE_INTEGER) {
    digits = std::to_string(sqlite3_value_int64(x));
  } else if (type == SQLITE_FLOAT) {
    digits = WholeDigits(sqlite3_value_double(x));
  } else {
    const std::optional<double> number =
        TextAsNumber(TextOf(sqlite3_value_blob(x), sqlite3_value_bytes(x)));
    if (!number) {
      return sqlite3_result_error(context, "Error converting data type varchar to float.", -1);
    }
    digits = WholeDigits(*number);
  }
  const std::string text = TenColumns(std::move(digits));
  sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

bool RegisterHostFunctions(sqlite3* db) {
  return sqlite3_create_function_v2(db, kStrFunction, 1,
                                    SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                    Str, nullptr, nullptr, nullptr) == SQLITE_OK &&
         sqlite3_create_collation_v2(db, kNumberCollation, SQLITE_UTF8, nullptr, CompareAsNumbers,
                                     nullptr) == SQLITE_OK;
}

}  // namespace quillor::sqlite
