// The key of one line of ca_mabsw as one text, for the lock that makes two
// sessions writing the same line take turns.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor {

struct LineKeyFields {
  std::string_view department;
  std::optional<std::string_view> cost_object;  // none when the row's cppid is null
  std::string_view inventory;
  std::string_view batch;
  std::string_view period;     // a whole number, blanks and sign allowed
  std::optional<int> irdcode;  // the stored code; none when the row has none
};

// Two field sets that the deletion of a row write could take for one row give
// the same key: the period as the number it is (" +05" and "5"), the texts
// without trailing blanks and in lower case (as a case-insensitive collation or
// blank-padded comparison may match them). Lines that differ otherwise give
// different keys; that a few distinct lines share a key only makes them take
// turns.
std::string LineKey(const LineKeyFields& fields);

}  // namespace quillor
