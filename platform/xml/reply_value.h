// Whether a value read from the database can go into a reply and read back as
// it is stored. Values written by other programs may hold controls, bytes that
// are no UTF-8 or infinite numbers; copied out unchecked they would make the
// reply malformed, or read back as something else.
#pragma once

#include <cmath>
#include <string>
#include <string_view>

#include "platform/base/db_value.h"
#include "platform/base/failure.h"

namespace quillor {

// A value a reply cannot carry: a failure naming the column and saying why.
// The description reads "column NAME: WHY"; ForRow adds the row in front.
class UnfitValue : public Failure {
 public:
  UnfitValue(std::string column, std::string why);
  const std::string& column() const { return column_; }
  const std::string& why() const { return why_; }
  // The same fault, named by row number (counted from 1) and column.
  Failure ForRow(int64_t row) const;

 private:
  std::string column_;
  std::string why_;
};

// A number a reply can carry: finite (an infinity or NaN has no text that reads
// back to it in the reply's numbers).
inline bool IsFiniteNumber(double value) { return std::isfinite(value); }

// Throws UnfitValue when the value cannot be written into a reply and read
// back unchanged: a text that is not XML 1.0 text, a number that is not finite.
// Nulls and integers always fit.
void RequireFitForReply(const DbValue& value, std::string_view column);

}  // namespace quillor
