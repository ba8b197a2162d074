#include "platform/db/sqlite/sqlite_error.h"

#include <string>

namespace quillor::sqlite {

Failure FailureFromSqlite(int code, const char* message) {
  int32_t number = failure_numbers::kFail;
  switch (code & 0xFF) {
    case SQLITE_ERROR:
      number = failure_numbers::kDbStatement;
      break;
    case SQLITE_CONSTRAINT:
      number = failure_numbers::kDbConstraint;
      break;
    case SQLITE_NOMEM:
      // Memory the engine could not have is the runtime's own failure.
      return Failure::OutOfMemory();
    default:
      break;
  }
  return Failure(number, std::string("[SQLite] ") + (message ? message : sqlite3_errstr(code)));
}

Failure LastFailure(sqlite3* db, int code) {
  return FailureFromSqlite(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

}  // namespace quillor::sqlite
