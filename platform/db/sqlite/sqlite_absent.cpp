// The Windows build has no embedded SQLite database: a "Provider=SQLite" text is
// refused with advice instead of reaching ODBC as a text no driver knows.
#include "platform/base/failure.h"
#include "platform/db/sqlite/sqlite_connection.h"

namespace quillor::sqlite {

SqliteSettings ParseSqliteConnectionText(const ConnectionText&) { return {}; }
SqliteSettings ParseSqliteConnectionText(std::string_view) { return {}; }

std::unique_ptr<Connection> OpenSqliteConnection(const SqliteSettings&) {
  throw Failure(failure_numbers::kFail,
                "[Quillor] the embedded SQLite database is not part of this build: open the "
                "database through an ODBC driver (Driver=...;...) instead");
}

}  // namespace quillor::sqlite
