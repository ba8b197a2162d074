// A small, coherent set of host rows for trying the component out.
#pragma once

#include <string>
#include <vector>

#include "platform/db/database.h"

namespace quillor {

// Inserts the sample rows that are not there yet (a row is known by its table's key:
// the code the lookups use), so that adding the sample twice leaves the same rows.
// Returns one line per table saying what was added and what was already there.
std::vector<std::string> InsertSampleData(Connection& conn);

}  // namespace quillor
