#include "platform/db/odbc/odbc_connection.h"

#include "platform/db/odbc/odbc_api.h"

#include <array>
#include <vector>

#include "platform/base/failure.h"
#include "platform/db/held_recordset.h"
#include "platform/db/odbc/odbc_error.h"
#include "platform/db/odbc/odbc_handle.h"
#include "platform/db/odbc/odbc_text.h"
#include "platform/db/odbc/odbc_types.h"
#include "platform/db/odbc/one_statement.h"

namespace quillor::odbc {
namespace {

// Long texts and binary values arrive in pieces of this many bytes.
constexpr size_t kPieceBytes = 4096;
constexpr unsigned kLoginTimeoutSeconds = 15;

Dialect DialectFromDbmsName(std::string_view name) {
  // PostgreSQL lacks a few constructs of the host's dialect; every other engine
  // (SQL Server above all) receives the statements as formed.
  if (name.starts_with("PostgreSQL")) return Dialect::kPostgres;
  return Dialect::kSqlServer;
}

// Reads a text or binary column of the current row, piece by piece.
DbValue ReadPieces(const Handle& stmt, SQLUSMALLINT column, bool wide) {
  std::string bytes;
  std::array<char, kPieceBytes> piece;
  const SQLSMALLINT c_type = wide ? SQL_C_WCHAR : SQL_C_BINARY;
  const size_t terminator = wide ? sizeof(SQLWCHAR) : 0;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(stmt.get(), column, c_type, piece.data(),
                                    static_cast<SQLLEN>(piece.size()), &indicator);
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "reading a value");
    if (indicator == SQL_NULL_DATA) return DbValue();
    const bool truncated =
        indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) > piece.size() - terminator;
    const size_t got = truncated ? piece.size() - terminator : static_cast<size_t>(indicator);
    // A wide piece always holds whole characters: the buffer is an even number of bytes.
    bytes.append(piece.data(), got - got % (wide ? sizeof(SQLWCHAR) : 1));
    if (!truncated) break;
  }
  if (!wide) return DbValue(std::move(bytes));
  std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
  bytes.copy(reinterpret_cast<char*>(text.data()), text.size() * sizeof(char16_t));
  return DbValue(Utf16ToUtf8(text));
}

// Reads a column of the current row into a fixed-size C value of the given type.
template <typename Value>
DbValue ReadFixed(const Handle& stmt, SQLUSMALLINT column, SQLSMALLINT c_type) {
  Value value = 0;
  SQLLEN indicator = 0;
  stmt.Check(SQLGetData(stmt.get(), column, c_type, &value, 0, &indicator), "reading a value");
  if (indicator == SQL_NULL_DATA) return DbValue();
  return DbValue(value);
}

static_assert(sizeof(int64_t) == sizeof(SQLBIGINT) && sizeof(double) == sizeof(SQLDOUBLE));

DbValue ReadValue(const Handle& stmt, SQLUSMALLINT column, FetchKind kind) {
  switch (kind) {
    case FetchKind::kInteger:
      return ReadFixed<int64_t>(stmt, column, SQL_C_SBIGINT);
    case FetchKind::kDouble:
      return ReadFixed<double>(stmt, column, SQL_C_DOUBLE);
    case FetchKind::kText:
      return ReadPieces(stmt, column, true);
    case FetchKind::kBinary:
      return ReadPieces(stmt, column, false);
  }
  return DbValue();
}

class OdbcConnection : public Connection {
 public:
  explicit OdbcConnection(std::string_view connection_text)
      : env_(MakeEnvironment()), dbc_(SQL_HANDLE_DBC, env_.get()) {
    // A server that never answers fails the open after 15 seconds, as the host's
    // database layer waits; a driver without the setting keeps its own default.
    SQLSetConnectAttr(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(kLoginTimeoutSeconds)),
                      SQL_IS_UINTEGER);
    std::u16string text = Utf8ToUtf16(connection_text);
    std::array<SQLWCHAR, 1024> completed{};
    SQLSMALLINT completed_length = 0;
    dbc_.Check(SQLDriverConnectW(dbc_.get(), nullptr, Wide(text), SQL_NTS, completed.data(),
                                 static_cast<SQLSMALLINT>(completed.size()), &completed_length,
                                 SQL_DRIVER_NOPROMPT),
               "connecting");
    connected_ = true;
    try {
      dialect_ = DialectFromDbmsName(DbmsName());
      if (dialect_ == Dialect::kPostgres) RequireStandardStrings();
    } catch (...) {  // the destructor does not run for a connection never finished
      SQLDisconnect(dbc_.get());
      throw;
    }
  }

  ~OdbcConnection() override {
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

  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override {
    Handle stmt = Run(sql);
    SQLSMALLINT count = 0;
    stmt.Check(SQLNumResultCols(stmt.get(), &count), "reading the result");
    // Row counts that come before the rows (triggers, batches) are passed over.
    while (count == 0) {
      const SQLRETURN rc = SQLMoreResults(stmt.get());
      if (rc == SQL_NO_DATA) break;
      stmt.Check(rc, "reading the result");
      stmt.Check(SQLNumResultCols(stmt.get(), &count), "reading the result");
    }

    std::vector<Column> columns;
    std::vector<FetchKind> kinds;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
      std::array<SQLWCHAR, 256> name{};
      SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      stmt.Check(SQLDescribeColW(stmt.get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                 &name_length, &sql_type, &size, &digits, &nullable),
                 "describing a column");
      const size_t length = std::min(static_cast<size_t>(name_length), name.size() - 1);
      columns.push_back({Utf16ToUtf8(WideView(name.data(), length)), AdoTypeFromSqlType(sql_type)});
      kinds.push_back(FetchKindForSqlType(sql_type));
    }

    std::vector<std::vector<DbValue>> rows;
    if (count > 0) {
      for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        stmt.Check(rc, "fetching a row");
        std::vector<DbValue> row;
        row.reserve(kinds.size());
        for (size_t i = 0; i < kinds.size(); ++i) {
          row.push_back(ReadValue(stmt, static_cast<SQLUSMALLINT>(i + 1), kinds[i]));
        }
        rows.push_back(std::move(row));
      }
    }
    return std::make_unique<HeldRecordset>(std::move(columns), std::move(rows), cursor);
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
      if (dialect_ == Dialect::kPostgres) TakeWriterTurn();
    }
    ++depth_;
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

  bool ResetForReuse() override { return depth_ == 0 && SQL_SUCCEEDED(SetAutocommit(true)); }

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
    const std::string sent = SentText(sql);
    if (SecondStatementAt(sent, dialect_) != std::string_view::npos) {
      throw Failure(failure_numbers::kDbStatement,
                    "[Quillor] only one statement may be run at a time");
    }
    Handle stmt(SQL_HANDLE_STMT, dbc_.get());
    std::u16string text = Utf8ToUtf16(sent);
    const SQLRETURN rc =
        SQLExecDirectW(stmt.get(), Wide(text), static_cast<SQLINTEGER>(text.size()));
    if (rc != SQL_NO_DATA) stmt.Check(rc, "running a statement");
    return stmt;
  }

  // A row write replaces a line by a deletion and then an insertion. Under the
  // server's default isolation two sessions writing the same line at once could
  // both find nothing to delete and both insert it. A lock held until the unit
  // ends makes units of work from every session take turns, as SQLite's single
  // writer does; each deletion then sees the row the previous unit committed.
  void TakeWriterTurn() {
    try {
      Run("select pg_advisory_xact_lock(7140871)");
    } catch (...) {
      SetAutocommit(true);
      throw;
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
};

}  // namespace
}  // namespace quillor::odbc

namespace quillor {

std::unique_ptr<Connection> OpenOdbcConnection(std::string_view connection_text) {
  return std::make_unique<odbc::OdbcConnection>(connection_text);
}

}  // namespace quillor
