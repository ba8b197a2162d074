#include "platform/sqlite/sqlite_file.h"

#include <sqlite3.h>

#include <filesystem>
#include <memory>

#include "platform/sqlite/sqlite_error.h"

namespace quillor {
namespace {
struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
}  // namespace

void CreateSqliteDatabaseFile(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return;
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &raw,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<sqlite3, DbClose> db(raw);
  if (rc != SQLITE_OK) throw sqlite::LastFailure(db.get(), rc);
  // Setting the journal mode writes the header, so the file is a database at once.
  rc = sqlite3_exec(db.get(), "pragma journal_mode=WAL", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw sqlite::LastFailure(db.get(), rc);
}

}  // namespace quillor
