// Making the embedded database's file, for setting up a database and for tests.
#pragma once

#include <string>

namespace quillor {

// Creates an empty SQLite database file in write-ahead-log mode. A file that is
// already there is left as it is.
void CreateSqliteDatabaseFile(const std::string& path);

}  // namespace quillor
