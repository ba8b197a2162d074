// The host ERP tables that the component reads and writes, for a new database.
#pragma once

#include "platform/db/database.h"

namespace quillor {

// Creates every host table (and the material table's key index) that is not
// there yet; running it again changes nothing.
void CreateHostTables(Connection& conn);

// True when every host table is there already (whatever rows they hold).
bool AllHostTablesPresent(Connection& conn);

}  // namespace quillor
