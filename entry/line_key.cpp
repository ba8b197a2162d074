#include "entry/line_key.h"

#include "platform/base/text.h"

namespace quillor {
namespace {

// Each part carries its length, so that no text can pass for two parts.
void Append(std::string& key, std::string_view part) {
  key += std::to_string(part.size());
  key += ':';
  key += part;
}

std::string_view WithoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The period's number as digits with its sign: "-0" and "0" are one number.
std::string PeriodNumber(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
  if (text == "0") negative = false;
  return (negative ? "-" : "") + std::string(text);
}

}  // namespace

std::string LineKey(const LineKeyFields& fields) {
  std::string key;
  Append(key, AsciiLower(WithoutTrailingBlanks(fields.department)));
  if (fields.cost_object) {
    Append(key, AsciiLower(WithoutTrailingBlanks(*fields.cost_object)));
  } else {
    key += "null;";
  }
  Append(key, AsciiLower(WithoutTrailingBlanks(fields.inventory)));
  Append(key, AsciiLower(WithoutTrailingBlanks(fields.batch)));
  Append(key, PeriodNumber(fields.period));
  key += fields.irdcode ? std::to_string(*fields.irdcode) : "null";
  return key;
}

}  // namespace quillor
