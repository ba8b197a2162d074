// Existence checks: a lookup passes when its query returns at least one row.
#pragma once

#include <string_view>

#include "platform/db/database.h"

namespace quillor {

// Runs the query with a keyset cursor, so the row count is known at once, and
// closes the result before returning.
bool HasRow(Connection& conn, std::string_view sql);

}  // namespace quillor
