#include "platform/db/sql_literal.h"

namespace quillor {

std::string DoubleQuotes(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

}  // namespace quillor
