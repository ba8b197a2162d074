// SQLite result codes as the component's failures.
#pragma once

#include <sqlite3.h>

#include "platform/base/failure.h"

namespace quillor::sqlite {

// A rejected statement, a violated constraint, or (for everything else: I/O,
// locking, a read-only or damaged file) a general failure; the description is
// the engine's own message.
Failure FailureFromSqlite(int code, const char* message);

// The failure for the connection's last error.
Failure LastFailure(sqlite3* db, int code);

}  // namespace quillor::sqlite
