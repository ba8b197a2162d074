// A small, coherent set of host rows for trying the component out.
#pragma once

#include <string>
#include <vector>

#include "platform/database.h"

namespace quillor {

// Inserts the sample rows; returns one line per table describing what was added.
std::vector<std::string> InsertSampleData(Connection& conn);

}  // namespace quillor
