// The operators and logic words a query condition may carry. A request's text is
// accepted when, trimmed and letter case aside, it is one of the known words; the
// text itself, blanks included, is what goes into the statement.
#pragma once

#include <string_view>

namespace quillor {

// = <> != < > <= >= like, not like
bool IsAllowedOperation(std::string_view text);
// and, or
bool IsAllowedLogic(std::string_view text);

}  // namespace quillor
