#include "platform/sqlite/sqlite_connection.h"

#include <sqlite3.h>

#include <charconv>
#include <vector>

#include "platform/connection_text.h"
#include "platform/sql_dialect.h"
#include "platform/sqlite/sqlite_error.h"
#include "platform/sqlite/sqlite_faults.h"
#include "platform/sqlite/sqlite_recordset.h"

namespace quillor::sqlite {
namespace {

struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using DbHandle = std::unique_ptr<sqlite3, DbClose>;
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

[[noreturn]] void RefuseText(const std::string& why) {
  throw Failure(failure_numbers::kFail, "[Quillor] invalid connection text: " + why);
}

DbValue ReadValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return DbValue(static_cast<int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
      return DbValue(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const void* data = sqlite3_column_blob(stmt, i);
      const int size = sqlite3_column_bytes(stmt, i);
      return DbValue(std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
    }
    default:
      return DbValue();
  }
}

// A column with no declared type (an expression) takes its type from the storage
// class of its value in the first row.
int TypeFromStorageClass(int storage_class) {
  switch (storage_class) {
    case SQLITE_INTEGER:
      return ado_type::kInteger;
    case SQLITE_FLOAT:
      return ado_type::kDouble;
    default:
      return ado_type::kVarChar;
  }
}

class SqliteConnection : public Connection {
 public:
  explicit SqliteConnection(DbHandle db) : db_(std::move(db)) {}

  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override {
    StmtHandle stmt = Prepare(sql);
    const int count = sqlite3_column_count(stmt.get());
    std::vector<Column> columns(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(stmt.get(), i);
      columns[static_cast<size_t>(i)].name = name ? name : "";
    }
    std::vector<std::vector<DbValue>> rows;
    std::vector<bool> typed(static_cast<size_t>(count), false);
    for (int i = 0; i < count; ++i) {
      const char* declared = sqlite3_column_decltype(stmt.get(), i);
      if (declared != nullptr) {
        columns[static_cast<size_t>(i)].type = AdoTypeFromDeclaredType(declared);
        typed[static_cast<size_t>(i)] = true;
      } else {
        columns[static_cast<size_t>(i)].type = ado_type::kVarChar;
      }
    }
    for (;;) {
      const int rc = sqlite3_step(stmt.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw LastFailure(db_.get(), rc);
      if (rows.empty()) {
        for (int i = 0; i < count; ++i) {
          if (!typed[static_cast<size_t>(i)]) {
            columns[static_cast<size_t>(i)].type =
                TypeFromStorageClass(sqlite3_column_type(stmt.get(), i));
          }
        }
      }
      std::vector<DbValue> row;
      row.reserve(static_cast<size_t>(count));
      for (int i = 0; i < count; ++i) row.push_back(ReadValue(stmt.get(), i));
      rows.push_back(std::move(row));
    }
    return std::make_unique<SqliteRecordset>(std::move(columns), std::move(rows), cursor);
  }

  int64_t Execute(std::string_view sql) override {
    StmtHandle stmt = Prepare(sql);
    const int64_t before = sqlite3_total_changes64(db_.get());
    for (;;) {
      const int rc = sqlite3_step(stmt.get());
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) throw LastFailure(db_.get(), rc);
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
    --depth_;
  }

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
      throw;
    }
  }

 private:
  void CheckDepth() const {
    if (depth_ == 0) throw Failure(failure_numbers::kFail, "[Quillor] no unit of work is open");
  }

  void Run(const std::string& sql) {
    StmtHandle stmt = PrepareExact(sql);
    const int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) throw LastFailure(db_.get(), rc);
  }

  StmtHandle Prepare(std::string_view sql) { return PrepareExact(SentText(sql)); }

  // Exactly one statement: text after it other than blanks, semicolons and
  // comments is refused, so a value can never carry a second statement in.
  StmtHandle PrepareExact(const std::string& text) {
    faults::BeforeStatement();
    if (text.find('\0') != std::string::npos) {
      throw Failure(failure_numbers::kDbStatement,
                    "[SQLite] the statement contains a NUL character");
    }
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(db_.get(), text.c_str(), static_cast<int>(text.size() + 1), 0, &raw,
                                &tail);
    StmtHandle stmt(raw);
    if (rc != SQLITE_OK) throw LastFailure(db_.get(), rc);
    if (!stmt) throw Failure(failure_numbers::kDbStatement, "[SQLite] the statement is empty");
    const char* end = text.c_str() + text.size();
    while (tail != nullptr && tail < end) {
      sqlite3_stmt* next_raw = nullptr;
      const char* next_tail = nullptr;
      rc = sqlite3_prepare_v3(db_.get(), tail, static_cast<int>(end - tail + 1), 0, &next_raw,
                              &next_tail);
      StmtHandle next(next_raw);
      if (next || rc != SQLITE_OK || next_tail == tail) {
        throw Failure(failure_numbers::kDbStatement,
                      "[SQLite] only one statement may be run at a time");
      }
      tail = next_tail;
    }
    return stmt;
  }

  DbHandle db_;
  int depth_ = 0;
  bool unwound_ = true;  // false once a rollback failed, until the next outermost unit
};

}  // namespace

SqliteSettings ParseSqliteConnectionText(std::string_view text) {
  const ConnectionText parsed = ConnectionText::Parse(text);
  SqliteSettings settings;
  const auto path = parsed.Get("Data Source");
  if (!path || path->empty()) RefuseText("no Data Source is given");
  settings.path = *path;
  if (const auto sync = parsed.Get("Synchronous")) {
    if (EqualsIgnoringCase(*sync, "Full")) {
      settings.synchronous_full = true;
    } else if (EqualsIgnoringCase(*sync, "Normal")) {
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
  sqlite3* raw = nullptr;
  // Never SQLITE_OPEN_CREATE: a database that is not there is a connection failure.
  const int access = faults::ReadOnlyRequested() ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  const int rc =
      sqlite3_open_v2(settings.path.c_str(), &raw, access | SQLITE_OPEN_NOMUTEX, nullptr);
  DbHandle db(raw);
  if (rc != SQLITE_OK) throw LastFailure(db.get(), rc);
  sqlite3_extended_result_codes(db.get(), 1);
  sqlite3_busy_timeout(db.get(), settings.busy_timeout_ms);
  auto conn = std::make_unique<SqliteConnection>(std::move(db));
  // These pragmas are the first reads of the file: a file that is no database
  // fails here, as a connection failure.
  auto mode = conn->Open("pragma journal_mode=WAL", CursorType::kForwardOnly);
  (void)mode;
  conn->Execute(settings.synchronous_full ? "pragma synchronous=FULL"
                                          : "pragma synchronous=NORMAL");
  return conn;
}

}  // namespace quillor::sqlite
