// What SQLite lacks of the host engine's comparisons and conversions, registered
// on every connection so that the host's statements keep their meaning.
#pragma once

#include <sqlite3.h>

namespace quillor::sqlite {

// quillor_str(x): the host's str(x), x rounded to a whole number (halves away from
// zero) and right-aligned in ten characters; "**********" when it needs more; null
// stays null. A text that is no number is an error, as on the host.
inline constexpr const char* kStrFunction = "quillor_str";

// The collation under which a text compares with a number as the host engine
// compares them: both read as numbers (blanks around them ignored, an empty text
// is 0). A text that is no number sorts after every number.
inline constexpr const char* kNumberCollation = "quillor_number";

// Registers both on the connection; false when SQLite refuses (out of memory).
bool RegisterHostFunctions(sqlite3* db);

}  // namespace quillor::sqlite
