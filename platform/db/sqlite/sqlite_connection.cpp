#include "platform/db/sqlite/sqlite_connection.h"

#include <sqlite3.h>

#include <charconv>
#include <vector>

#include "platform/base/text.h"
#include "platform/db/connection_text.h"
#include "platform/db/sql_dialect.h"
#include "platform/db/sqlite/db_handle.h"
#include "platform/db/sqlite/host_functions.h"
#include "platform/db/sqlite/sqlite_cursor.h"
#include "platform/db/sqlite/sqlite_error.h"
#include "platform/db/sqlite/sqlite_fork.h"
#include "platform/db/sqlite/sqlite_hooks.h"
#include "platform/db/sqlite/sqlite_row.h"
#include "platform/db/sqlite/statement_cache.h"
#include "platform/db/sqlite/write_turn.h"

namespace quillor::sqlite {
namespace {

[[noreturn]] void RefuseText(const std::string& why) {
  throw Failure(failure_numbers::kFail, "[Quillor] invalid connection text: " + why);
}

// The settings a connection text asks for, as statements.
const char* SynchronousPragma(const SqliteSettings& settings) {
  return settings.synchronous_full ? "pragma synchronous=FULL" : "pragma synchronous=NORMAL";
}

class SqliteConnection : public Connection {
 public:
  SqliteConnection(DbHandle db, const SqliteSettings& settings, bool read_only)
      : turn_(TurnOf(db.get(), read_only)),
        db_(std::move(db)),
        settings_(settings),
        read_only_(read_only) {}

  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override {
    HookBeforeStatement(sql);
    const std::string text = SentText(sql);
    if (cursor == CursorType::kStatic) {
      StmtHandle stmt = PrepareOne(db_.get(), text);
      std::vector<Column> columns = ReadColumns(stmt.get());
      const bool on_row = Step(stmt.get());
      if (on_row) TypeFromRow(stmt.get(), columns);
      // Streamed, unless running the statement a second time could change something.
      if (sqlite3_stmt_readonly(stmt.get())) {
        // The open statement holds the connection's read snapshot, so the count
        // is of exactly the rows the cursor will step through.
        return std::make_unique<SqliteCursor>(db_.get(), std::move(stmt), std::move(columns),
                                              on_row, [this, text] { return CountRows(text); });
      }
      return ReadWhole(stmt.get(), std::move(columns), on_row, cursor);
    }
    const BoundStatement stmt = statements_.Get(text);
    std::vector<Column> columns = ReadColumns(stmt.get());
    const bool on_row = Step(stmt.get());
    if (on_row) TypeFromRow(stmt.get(), columns);
    return ReadWhole(stmt.get(), std::move(columns), on_row, cursor);
  }

  int64_t Execute(std::string_view sql) override {
    HookBeforeStatement(sql);
    const BoundStatement stmt = statements_.Get(SentText(sql));
    const int64_t before = sqlite3_total_changes64(db_.get());
    while (Step(stmt.get())) {
    }
    // A statement that changed nothing (a definition, a query) reports no rows,
    // not the count left over from an earlier statement.
    if (sqlite3_total_changes64(db_.get()) == before) return 0;
    return sqlite3_changes64(db_.get());
  }

  Dialect dialect() const override { return Dialect::kSqlite; }

  std::string SentText(std::string_view sql) const override {
    return AdaptStatement(sql, Dialect::kSqlite);
  }

  // Savepoints nest, so a unit of work may open inside another.
  void Begin() override {
    if (depth_ == 0) {
      // A transaction that a failed rollback left open would swallow this unit's
      // commit, and its rows would vanish when the connection closes.
      if (sqlite3_get_autocommit(db_.get()) == 0) Run("rollback");
      unwound_ = true;
    }
    Run("savepoint quillor_" + std::to_string(depth_));
    ++depth_;
  }

  void Commit() override {
    CheckDepth();
    if (!unwound_) {
      throw Failure(failure_numbers::kFail, "[Quillor] an inner unit of work was not rolled back");
    }
    Run("release quillor_" + std::to_string(depth_ - 1));
    if (--depth_ == 0) turn_.Release();
  }

  // The line's own key is not needed: SQLite writes one file at a time whatever
  // the line, so a unit waits for the file's turn before its first write.
  void TakeLineTurn(std::string_view /*line*/) override {
    if (depth_ > 0) turn_.Take(std::chrono::milliseconds(settings_.busy_timeout_ms));
  }

  // Run directly on the handle: the pool's statements are not the component's,
  // and the injected faults are for the component's statements.
  bool ResetForReuse() override {
    sqlite3* db = db_.get();
    if (depth_ != 0) return false;
    // A statement still stepping would keep its read snapshot into the next call.
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s)) {
      if (sqlite3_stmt_busy(s)) return false;
    }
    if (sqlite3_get_autocommit(db) == 0 &&
        sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr) != SQLITE_OK) {
      return false;
    }
    unwound_ = true;
    // The connection's own settings; the journal mode belongs to the file and
    // stays as the open set it.
    sqlite3_busy_timeout(db, settings_.busy_timeout_ms);
    return sqlite3_exec(db, SynchronousPragma(settings_), nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  bool StillUsable() override {
    sqlite3* db = db_.get();
    if (read_only_ != HookOpenReadOnly()) return false;
    // A database file deleted, replaced or renamed since the open: a new open
    // reaches the file now at the path, this connection the old one.
    int moved = 1;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK || moved) {
      return false;
    }
    return sqlite3_get_autocommit(db) != 0;
  }

  // SQLite keeps a file's locks per process, shared by every connection to it:
  // a child would take the parent's for its own.
  bool KeptAcrossFork() const override { return false; }

  void Rollback() override {
    CheckDepth();
    const std::string name = "quillor_" + std::to_string(depth_ - 1);
    --depth_;  // the unit is over, whether or not the statements below run
    try {
      Run("rollback to " + name);
      Run("release " + name);
    } catch (...) {
      // Its changes may still stand in the open transaction: no enclosing unit
      // may commit them, and the next outermost unit starts by rolling back.
      unwound_ = false;
      if (depth_ == 0) turn_.Release();
      throw;
    }
    if (depth_ == 0) turn_.Release();
  }

 private:
  void CheckDepth() const {
    if (depth_ == 0) throw Failure(failure_numbers::kFail, "[Quillor] no unit of work is open");
  }

  // One step: true on a row, false at the end.
  bool Step(sqlite3_stmt* stmt) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw LastFailure(db_.get(), rc);
  }

  // The number of rows a query gives: counted by the engine, which then need not
  // work out the columns; a text that cannot stand as a subquery is stepped
  // through instead.
  int64_t CountRows(const std::string& text) {
    StmtHandle counter;
    try {
      counter = PrepareOne(db_.get(), "select count(*) from (" + text + "\n)");
    } catch (const Failure&) {
    }
    if (counter && sqlite3_column_count(counter.get()) == 1 && Step(counter.get())) {
      return sqlite3_column_int64(counter.get(), 0);
    }
    counter = PrepareOne(db_.get(), text);
    int64_t count = 0;
    while (Step(counter.get())) ++count;
    return count;
  }

  // The rest of the result, from the row the statement stands on, held in memory.
  std::unique_ptr<Recordset> ReadWhole(sqlite3_stmt* stmt, std::vector<Column> columns, bool on_row,
                                       CursorType cursor) {
    std::vector<std::vector<DbValue>> rows;
    const int count = static_cast<int>(columns.size());
    for (; on_row; on_row = Step(stmt)) {
      std::vector<DbValue> row;
      row.reserve(static_cast<size_t>(count));
      for (int i = 0; i < count; ++i) row.push_back(ReadValue(stmt, i));
      rows.push_back(std::move(row));
    }
    return std::make_unique<HeldRecordset>(std::move(columns), std::move(rows), cursor);
  }

  void Run(const std::string& sql) {
    HookBeforeStatement(sql);
    const BoundStatement stmt = statements_.Get(sql);
    Step(stmt.get());
  }

  static std::shared_ptr<std::timed_mutex> TurnOf(sqlite3* db, bool read_only) {
    const char* path = sqlite3_db_filename(db, "main");
    if (read_only || path == nullptr || *path == '\0') return nullptr;
    return WriteTurns::ForFile(path);
  }

  // Declared before the handle: a turn still held is given up only once the
  // connection has closed, and with it any transaction left open.
  WriteTurn turn_;
  // Declared after the handle: the statements go before the connection closes.
  DbHandle db_;
  SqliteSettings settings_;
  bool read_only_;
  StatementCache statements_{db_.get()};
  int depth_ = 0;
  bool unwound_ = true;  // false once a rollback failed, until the next outermost unit
};

// SQLite takes a file without a single page (an empty file) for a new database and
// would write one into it at the first pragma. Such a file is no database: the
// connection fails and the file is left as it was, as for a missing file.
void RequireDatabasePages(sqlite3* db) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, "pragma page_count", -1, &raw, nullptr);
  StmtHandle stmt(raw);
  if (rc != SQLITE_OK) throw LastFailure(db, rc);
  rc = sqlite3_step(stmt.get());
  if (rc != SQLITE_ROW) throw LastFailure(db, rc);
  if (sqlite3_column_int64(stmt.get(), 0) == 0) {
    throw Failure(failure_numbers::kFail, "[SQLite] file is not a database");
  }
}

}  // namespace

SqliteSettings ParseSqliteConnectionText(std::string_view text) {
  return ParseSqliteConnectionText(ConnectionText::Parse(text));
}

SqliteSettings ParseSqliteConnectionText(const ConnectionText& parsed) {
  SqliteSettings settings;
  const auto path = parsed.Get("Data Source");
  if (!path || path->empty()) RefuseText("no Data Source is given");
  settings.path = *path;
  if (const auto sync = parsed.Get("Synchronous")) {
    if (EqualsIgnoreCase(*sync, "Full")) {
      settings.synchronous_full = true;
    } else if (EqualsIgnoreCase(*sync, "Normal")) {
      settings.synchronous_full = false;
    } else {
      RefuseText("Synchronous must be Full or Normal");
    }
  }
  if (const auto timeout = parsed.Get("Busy Timeout")) {
    int ms = -1;
    const char* end = timeout->data() + timeout->size();
    auto [ptr, ec] = std::from_chars(timeout->data(), end, ms);
    if (ec != std::errc() || ptr != end || ms < 0) {
      RefuseText("Busy Timeout must be a whole number of milliseconds");
    }
    settings.busy_timeout_ms = ms;
  }
  return settings;
}

std::unique_ptr<Connection> OpenSqliteConnection(const SqliteSettings& settings) {
  HoldEngineLocksAcrossForks();
  sqlite3* raw = nullptr;
  // Never SQLITE_OPEN_CREATE: a database that is not there is a connection failure.
  const bool read_only = HookOpenReadOnly();
  const int access = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  const int rc =
      sqlite3_open_v2(settings.path.c_str(), &raw, access | SQLITE_OPEN_NOMUTEX, nullptr);
  DbHandle db(raw);
  if (rc != SQLITE_OK) throw LastFailure(db.get(), rc);
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), settings.busy_timeout_ms);
  RequireDatabasePages(db.get());
  if (!RegisterHostFunctions(db.get())) throw LastFailure(db.get(), sqlite3_errcode(db.get()));
  auto conn = std::make_unique<SqliteConnection>(std::move(db), settings, read_only);
  // These pragmas are the first reads of the file: a file that is no database
  // fails here, as a connection failure.
  auto mode = conn->Open("pragma journal_mode=WAL", CursorType::kForwardOnly);
  (void)mode;
  conn->Execute(SynchronousPragma(settings));
  return conn;
}

}  // namespace quillor::sqlite
