#include "platform/db/sqlite/sqlite_file.h"

#include <sqlite3.h>

#include <filesystem>
#include <memory>

#include "platform/db/sqlite/db_handle.h"
#include "platform/db/sqlite/sqlite_error.h"

namespace quillor {
void CreateSqliteDatabaseFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return;
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &raw,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite::DbHandle db(raw);
  if (rc != SQLITE_OK) throw sqlite::LastFailure(db.get(), rc);
  // Setting the journal mode writes the header, so the file is a database at once.
  rc = sqlite3_exec(db.get(), "pragma journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw sqlite::LastFailure(db.get(), rc);
}

}  // namespace quillor
