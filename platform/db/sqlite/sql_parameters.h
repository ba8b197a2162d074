// Simple parameterisation: the literals of a statement taken out as bound
// values, so that statements of one shape share one prepared statement.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillor::sqlite {

struct BoundValue {
  bool is_text;
  std::string text;  // the literal's content, its doubled quotes made single
  int64_t integer = 0;
};

struct Parameterised {
  std::string shape;  // the statement with a ? in place of each value taken out
  std::vector<BoundValue> values;
};

// Takes out the quoted texts and the whole numbers that fit in 18 digits, only
// where a bound value means exactly what the literal meant: in a select, insert,
// update or delete, after its outermost where, values or set, and before any
// order by, group by or returning (where a number can name a column, or a
// literal names a result column). Real numbers stay in the text: their
// conversion is the engine's own. Nothing (no shape) for other statements, for
// text that does not read to its end, or for a statement with parameters of its
// own.
std::optional<Parameterised> Parameterise(std::string_view sql);

}  // namespace quillor::sqlite
