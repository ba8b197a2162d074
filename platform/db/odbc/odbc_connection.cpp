#include "platform/db/odbc/odbc_connection.h"

#include "platform/db/odbc/odbc_api.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/base/failure.h"
#include "platform/db/connection_text.h"
#include "platform/db/held_recordset.h"
#include "platform/db/odbc/odbc_block.h"
#include "platform/db/odbc/odbc_error.h"
#include "platform/db/odbc/odbc_handle.h"
#include "platform/db/odbc/odbc_text.h"
#include "platform/db/odbc/odbc_types.h"
#include "platform/db/odbc/odbc_values.h"
#include "platform/db/odbc/one_statement.h"
#include "platform/db/odbc/server_cursor.h"

namespace quillor::odbc {
namespace {

constexpr unsigned kLoginTimeoutSeconds = 15;

// The first half of every line's lock: the component's own space among the
// server's advisory locks.
constexpr int32_t kLineLockSpace = 7140871;

Dialect DialectFromDbmsName(std::string_view name) {
  // PostgreSQL lacks a few constructs of the host's dialect; every other engine
  // (SQL Server above all) receives the statements as formed.
  if (name.starts_with("PostgreSQL")) return Dialect::kPostgres;
  return Dialect::kSqlServer;
}

// The connection text's own key for the rows fetched per block; the driver never sees it.
constexpr std::string_view kBlockRowsKey = "BlockRows";
constexpr size_t kMostBlockRows = 100000;

size_t BlockRowsFrom(const ConnectionText& text) {
  const std::optional<std::string> value = text.Get(kBlockRowsKey);
  if (!value) return kDefaultBlockRows;
  size_t rows = 0;
  const char* const end = value->data() + value->size();
  const auto [at, error] = std::from_chars(value->data(), end, rows);
  if (error != std::errc() || at != end || rows < 1 || rows > kMostBlockRows) {
    throw Failure(failure_numbers::kFail, "[Quillor] BlockRows must be a whole number from 1 to " +
                                              std::to_string(kMostBlockRows));
  }
  return rows;
}

// The connection text's own key for how long a statement waits for a lock another
// session holds (milliseconds; 0 waits as long as it takes). The driver never sees it.
constexpr std::string_view kLockTimeoutKey = "Lock Timeout";
constexpr uint32_t kDefaultLockTimeoutMs = 5000;
constexpr uint32_t kMostLockTimeoutMs = 2147483647;  // the server's own ceiling

uint32_t LockTimeoutFrom(const ConnectionText& text) {
  const std::optional<std::string> value = text.Get(kLockTimeoutKey);
  if (!value) return kDefaultLockTimeoutMs;
  uint32_t ms = 0;
  const char* const end = value->data() + value->size();
  const auto [at, error] = std::from_chars(value->data(), end, ms);
  if (value->empty() || error != std::errc() || at != end || ms > kMostLockTimeoutMs) {
    throw Failure(failure_numbers::kFail,
                  "[Quillor] Lock Timeout must be a whole number of milliseconds from 0 to " +
                      std::to_string(kMostLockTimeoutMs));
  }
  return ms;
}

// The second half of a line's lock: a hash of the line's key that every build and
// platform computes alike (FNV-1a), so that every process writing to the server
// takes the same lock for the same line. Two lines sharing a hash only take turns.
int32_t LineLockKey(std::string_view line) {
  uint32_t hash = 2166136261u;
  for (const char c : line) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return static_cast<int32_t>(hash);
}

void ReadRowByRow(const Handle& stmt, const ResultColumns& result, std::vector<Row>& rows) {
  for (;;) {
    const SQLRETURN rc = SQLFetch(stmt.get());
    if (rc == SQL_NO_DATA) return;
    stmt.Check(rc, "fetching a row");
    Row row;
    row.reserve(result.kinds.size());
    for (size_t i = 0; i < result.kinds.size(); ++i) {
      row.push_back(ReadValue(stmt, static_cast<SQLUSMALLINT>(i + 1), result.kinds[i]));
    }
    rows.push_back(std::move(row));
  }
}

class OdbcConnection : public Connection {
 public:
  OdbcConnection(const ConnectionText& connection_text, unsigned login_timeout_seconds)
      : env_(MakeEnvironment()),
        dbc_(SQL_HANDLE_DBC, env_.get()),
        cursors_(std::make_shared<CursorSession>()) {
    cursors_->block_rows = BlockRowsFrom(connection_text);
    const uint32_t lock_timeout_ms = LockTimeoutFrom(connection_text);
    // A server that never answers fails the open after 15 seconds (or the text's
    // Connect Timeout), as the host's database layer waits; a driver without the
    // setting keeps its own default.
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(login_timeout_seconds)),
                      SQL_IS_UINTEGER);
    std::u16string text =
        Utf8ToUtf16(connection_text.Without({kBlockRowsKey, kLockTimeoutKey}).text());
    std::array<SQLWCHAR, 1024> completed{};
    SQLSMALLINT completed_length = 0;
    dbc_.Check(SQLDriverConnectW(dbc_.get(), nullptr, Wide(text), SQL_NTS, completed.data(),
                                 static_cast<SQLSMALLINT>(completed.size()), &completed_length,
                                 SQL_DRIVER_NOPROMPT),
               "connecting");
    connected_ = true;
    cursors_->dbc = dbc_.get();
    try {
      dialect_ = DialectFromDbmsName(DbmsName());
      if (dialect_ == Dialect::kPostgres) {
        RequireStandardStrings();
        SetLockTimeout(lock_timeout_ms);
      }
    } catch (...) {  // the destructor does not run for a connection never finished
      SQLDisconnect(dbc_.get());
      throw;
    }
  }

  ~OdbcConnection() override {
    cursors_->dbc = SQL_NULL_HDBC;  // a result that outlives its connection closes nothing
    if (!connected_) return;
    if (depth_ > 0) SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), SQL_ROLLBACK);
    SQLDisconnect(dbc_.get());
  }

  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  Dialect dialect() const override { return dialect_; }

  std::string SentText(std::string_view sql) const override {
    if (dialect_ == Dialect::kSqlServer) return std::string(sql);
    return AdaptStatement(sql, dialect_);
  }

  // On PostgreSQL a query is read through a cursor on the server; any other
  // statement is read whole (in blocks on PostgreSQL, value by value elsewhere).
  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override {
    if (dialect_ == Dialect::kPostgres) {
      const std::string sent = CheckedText(sql);
      if (CursorCanRead(sent)) return OpenThroughCursor(cursors_, sent, cursor);
    }
    Handle stmt = Run(sql);
    ResultColumns result = DescribeResult(stmt, SkipToRows(stmt));
    std::vector<Row> rows;
    if (result.columns.empty()) {
      // no rows to read
    } else if (dialect_ == Dialect::kPostgres) {
      BlockReader(stmt, result, cursors_->block_rows).ReadAll(rows);
    } else {
      // Other drivers keep the value-by-value reading they were proven with: a long
      // value read again after a block needs SQLSetPos, which not every driver offers.
      ReadRowByRow(stmt, result, rows);
    }
    return std::make_unique<HeldRecordset>(std::move(result.columns), std::move(rows), cursor);
  }

  int64_t Execute(std::string_view sql) override {
    Handle stmt = Run(sql);
    SQLLEN changed = 0;
    stmt.Check(SQLRowCount(stmt.get(), &changed), "counting the rows changed");
    return changed < 0 ? 0 : static_cast<int64_t>(changed);
  }

  // Units nest: only the outermost Begin and Commit reach the database, and a unit
  // rolled back inside another spoils the outer one.
  void Begin() override {
    if (depth_ == 0) {
      dbc_.Check(SetAutocommit(false), "beginning a transaction");
      doomed_ = false;
    }
    ++depth_;
  }

  // A row write replaces a line by a deletion and then an insertion. Under the
  // server's default isolation two sessions writing the same line at once could
  // both find nothing to delete and both insert it. A lock on the line, held
  // until the unit ends, makes them take turns, as SQLite's single writer does;
  // the deletion then sees the row the other unit committed. Units writing other
  // lines never wait for it, nor for a session stuck on a lock of its own. The
  // wait is bounded by the session's lock_timeout, as every other lock's is.
  void TakeLineTurn(std::string_view line) override {
    if (dialect_ != Dialect::kPostgres) return;
    RequireUnit("taking a line's turn");
    Run("select pg_advisory_xact_lock(" + std::to_string(kLineLockSpace) + ", " +
        std::to_string(LineLockKey(line)) + ")");
  }

  void Commit() override {
    RequireUnit("committing");
    if (--depth_ > 0) return;
    if (doomed_) {
      EndUnit(SQL_ROLLBACK);
      throw Failure(failure_numbers::kFail,
                    "[unixODBC] the transaction was rolled back by an inner unit of work");
    }
    EndUnit(SQL_COMMIT);
  }

  bool ResetForReuse() override {
    return depth_ == 0 && CloseLeftCursors(*cursors_) && SQL_SUCCEEDED(SetAutocommit(true));
  }

  // What the driver knows of the link first, then one round trip: a server that
  // went away or a session it ended fails here, not in the next call.
  bool StillUsable() override {
    SQLUINTEGER dead = SQL_CD_TRUE;
    if (!SQL_SUCCEEDED(
            SQLGetConnectAttr(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) ||
        dead != SQL_CD_FALSE) {
      return false;
    }
    try {
      Run("select 1");
      return true;
    } catch (const Failure&) {
      return false;
    }
  }

  void Rollback() override {
    RequireUnit("rolling back");
    if (--depth_ > 0) {
      doomed_ = true;
      return;
    }
    EndUnit(SQL_ROLLBACK);
  }

 private:
  static Handle MakeEnvironment() {
    Handle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
    env.Check(SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                            reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(SQL_OV_ODBC3)), 0),
              "choosing ODBC 3");
    return env;
  }

  std::string DbmsName() const {
    std::array<SQLWCHAR, 256> name{};
    SQLSMALLINT bytes = 0;
    dbc_.Check(SQLGetInfoW(dbc_.get(), SQL_DBMS_NAME, name.data(),
                           static_cast<SQLSMALLINT>(name.size() * sizeof(SQLWCHAR)), &bytes),
               "asking the engine's name");
    const size_t length = std::min(static_cast<size_t>(bytes) / sizeof(SQLWCHAR), name.size() - 1);
    return Utf16ToUtf8(WideView(name.data(), length));
  }

  // Quotes in values are only doubled, which keeps them inside their literal only
  // while a backslash is an ordinary character there. A server set otherwise
  // (standard_conforming_strings off) would let \' end the literal: the session
  // turns the setting on, and a server that will not keep it is refused.
  void RequireStandardStrings() {
    const char* const kSetting = "standard_conforming_strings";
    try {
      Run(std::string("set ") + kSetting + " to on");
      Handle stmt = Run(std::string("show ") + kSetting);
      std::string value;
      if (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
        const DbValue v = ReadValue(stmt, 1, FetchKind::kText);
        if (v.IsText()) value = v.Text();
      }
      if (value == "on") return;
      throw Failure(failure_numbers::kFail,
                    std::string("[Quillor] the server keeps ") + kSetting + " at '" + value + "'");
    } catch (const Failure& f) {
      throw Failure(f.number(),
                    "[Quillor] the connection is refused: quoted texts are safe only "
                    "with standard_conforming_strings on, and the session could not "
                    "set it (" +
                        f.description() + ")");
    }
  }

  // Executes a statement in the engine's dialect. A statement that changes no row is
  // no failure (ODBC reports it as "no data"). A text that holds a second statement
  // is refused before it is sent.
  Handle Run(std::string_view sql) {
    return ExecuteDirect(dbc_.get(), CheckedText(sql), "running a statement");
  }

  std::string CheckedText(std::string_view sql) const {
    std::string sent = SentText(sql);
    if (SecondStatementAt(sent, dialect_) != std::string_view::npos) {
      throw Failure(failure_numbers::kDbStatement,
                    "[Quillor] only one statement may be run at a time");
    }
    return sent;
  }

  // A statement that waits for a lock another session holds (a row, a line's
  // turn) fails after this long, as SQLite's busy timeout ends its wait: the
  // write of that line fails, and the rest of the batch goes on.
  void SetLockTimeout(uint32_t ms) {
    try {
      Run("set lock_timeout = " + std::to_string(ms));
    } catch (const Failure& f) {
      throw Failure(f.number(), "[Quillor] the session could not set its lock timeout (" +
                                    f.description() + ")");
    }
  }

  SQLRETURN SetAutocommit(bool on) {
    return SQLSetConnectAttr(dbc_.get(), SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(
                                 on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                             SQL_IS_UINTEGER);
  }

  void RequireUnit(const char* doing) const {
    if (depth_ == 0) {
      throw Failure(failure_numbers::kFail,
                    std::string("[unixODBC] ") + doing + " without a transaction");
    }
  }

  void EndUnit(SQLSMALLINT completion) {
    const SQLRETURN ended = SQLEndTran(SQL_HANDLE_DBC, dbc_.get(), completion);
    // Autocommit comes back whatever the outcome, so later statements stand on their own.
    const SQLRETURN restored = SetAutocommit(true);
    dbc_.Check(ended, completion == SQL_COMMIT ? "committing" : "rolling back");
    dbc_.Check(restored, "ending a transaction");
  }

  Handle env_;
  Handle dbc_;
  bool connected_ = false;
  Dialect dialect_ = Dialect::kSqlServer;
  int depth_ = 0;
  bool doomed_ = false;
  std::shared_ptr<CursorSession> cursors_;
};

}  // namespace
}  // namespace quillor::odbc

namespace quillor {

std::unique_ptr<Connection> OpenOdbcConnection(std::string_view connection_text) {
  return OpenOdbcConnection(connection_text, odbc::kLoginTimeoutSeconds);
}

std::unique_ptr<Connection> OpenOdbcConnection(std::string_view connection_text,
                                               unsigned login_timeout_seconds) {
  return std::make_unique<odbc::OdbcConnection>(ConnectionText::Lenient(connection_text),
                                                login_timeout_seconds);
}

}  // namespace quillor
