#include "platform/xml/reply_value.h"

#include <cstdio>

#include "platform/xml/xml_text.h"

namespace quillor {

UnfitValue::UnfitValue(std::string column, std::string why)
    : Failure(failure_numbers::kFail, "[Quillor] column " + column + ": " + why),
      column_(std::move(column)),
      why_(std::move(why)) {}

Failure UnfitValue::ForRow(int64_t row) const {
  return Failure(number(),
                 "[Quillor] row " + std::to_string(row) + ", column " + column_ + ": " + why_);
}

void RequireFitForReply(const DbValue& value, std::string_view column) {
  if (value.IsText()) {
    const std::string& text = value.Text();
    const size_t at = FirstUncarriableByte(text);
    if (at == std::string_view::npos) return;
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[at]));
    throw UnfitValue(std::string(column), "the stored text cannot be carried by XML 1.0 (byte " +
                                              std::string(byte) + " at offset " +
                                              std::to_string(at) + ")");
  }
  if (value.IsDouble() && !IsFiniteNumber(value.Double())) {
    throw UnfitValue(std::string(column), std::isnan(value.Double())
                                              ? "the stored number is not a number (NaN)"
                                              : "the stored number is infinite");
  }
}

}  // namespace quillor
