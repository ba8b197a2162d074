// The two cost-accounting options that decide how a cost object is identified.
#pragma once

#include <cstdint>

#include "platform/db/database.h"

namespace quillor {

// The mode the options on the connection give, read anew at every call; when
// they name none (8602 on without 8601), the previous mode stays.
int16_t ReadCostObjectMode(Connection& conn, int16_t previous);

}  // namespace quillor
