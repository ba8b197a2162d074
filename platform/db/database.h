// The database connection and recordset, shaped after the ADO operations the
// component uses. Backends: the embedded SQLite database ("Provider=SQLite;...")
// and, for every other connection text, ODBC; open_connection.h opens one.
//
// Every statement is written in the host database's own dialect; a backend adapts
// the few constructs its engine lacks and nothing else. Every failure is a
// quillor::Failure with the database's number and description.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/base/db_value.h"
#include "platform/db/sql_dialect.h"

namespace quillor {

enum class CursorType { kForwardOnly, kKeyset, kStatic };

// ADO DataTypeEnum codes, as the database layer reports a column's type.
namespace ado_type {
inline constexpr int kSmallInt = 2;
inline constexpr int kInteger = 3;
inline constexpr int kSingle = 4;
inline constexpr int kDouble = 5;
inline constexpr int kCurrency = 6;
inline constexpr int kDate = 7;
inline constexpr int kBSTR = 8;
inline constexpr int kBoolean = 11;
inline constexpr int kVariant = 12;
inline constexpr int kUnsignedTinyInt = 17;
inline constexpr int kBigInt = 20;
inline constexpr int kGuid = 72;
inline constexpr int kBinary = 128;
inline constexpr int kChar = 129;
inline constexpr int kWChar = 130;
inline constexpr int kNumeric = 131;
inline constexpr int kDBDate = 133;
inline constexpr int kDBTime = 134;
inline constexpr int kDBTimeStamp = 135;
inline constexpr int kVarChar = 200;
inline constexpr int kLongVarChar = 201;
inline constexpr int kVarWChar = 202;
inline constexpr int kLongVarWChar = 203;
inline constexpr int kVarBinary = 204;
inline constexpr int kLongVarBinary = 205;
}  // namespace ado_type

// The ADO code for a declared column type such as "varchar(60)", "int" or "bit",
// as the server's own type of that name maps ("tinyint" 17, "smallmoney" 6,
// "uniqueidentifier" 72, "varbinary" 204, ...); words after the type name ("int
// identity") do not count. Unknown or missing declarations give adVarChar.
int AdoTypeFromDeclaredType(std::string_view declared);

// An open result, positioned on its first row (or at its end when empty).
class Recordset {
 public:
  virtual ~Recordset() = default;

  virtual bool Eof() const = 0;
  virtual void MoveNext() = 0;
  // The number of rows; known at once for keyset and static cursors, -1 for a
  // forward-only cursor.
  virtual int64_t RecordCount() const = 0;
  // A recordset that holds all of its rows tells how many it holds, whatever its
  // cursor (the trace then writes its line when the result opens); -1 otherwise.
  virtual int64_t RowsHeld() const { return -1; }

  virtual int FieldCount() const = 0;
  // The index of the column of that name, letter case not significant. An
  // unknown name is failure 3265.
  virtual int FieldIndex(std::string_view name) const = 0;
  virtual std::string FieldName(int index) const = 0;
  virtual int FieldType(int index) const = 0;
  // The value of a column in the current row; at the end of the result, failure 3021.
  virtual DbValue Value(int index) const = 0;

  virtual void Close() = 0;

  DbValue Value(std::string_view name) const { return Value(FieldIndex(name)); }
};

class Connection {
 public:
  virtual ~Connection() = default;

  // Runs a statement that returns rows.
  virtual std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) = 0;
  // Runs a statement that returns none; the result is the number of rows changed.
  virtual int64_t Execute(std::string_view sql) = 0;

  // The engine's dialect, for the few places that must know it (creating tables).
  virtual Dialect dialect() const { return Dialect::kSqlServer; }

  // The text the engine receives for a statement the component formed: the same
  // text, or the dialect's adaptation of it. Only the trace asks.
  virtual std::string SentText(std::string_view sql) const { return std::string(sql); }

  // A unit of work: the statements between Begin and Commit stand or fall together.
  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  // Within a unit of work: waits until no unit of another session that took the
  // same `line` (a row write's key, as one text) is still open, and holds the
  // line until this unit ends. Two sessions writing one line then take turns,
  // and sessions writing other lines do not wait for them. Engines whose
  // writers take turns anyway (SQLite) need nothing, and so do those whose
  // statements run as the host sends them.
  virtual void TakeLineTurn(std::string_view /*line*/) {}

  // A write the component refused before sending any statement, with the field and
  // the text that made it refuse: the reply carries one fixed text for every
  // failed write, so only the trace can tell why. Only the trace listens.
  struct RefusedWrite {
    std::string_view reason;  // "period 2.5 is not a whole number"
    std::string_view item;    // the element's id
    std::string_view field;
    std::string_view value;
  };
  virtual void NoteRefusedWrite(const RefusedWrite& /*refused*/) {}

  // For the connection pool, when a call is done with the connection: puts it
  // back as its opening left it (no unit of work open, the connection text's
  // settings in force). False when that cannot be done: the connection is then
  // closed instead of kept. Connections that cannot be kept say false.
  virtual bool ResetForReuse() { return false; }
  // For the connection pool, before an idle connection serves another call: false
  // when it can no longer serve one (its database file replaced, its server gone).
  virtual bool StillUsable() { return false; }
  // For the connection pool, before the process forks: false when a child must
  // not inherit the connection even idle, because its engine keeps the
  // connection's locks in the process (the embedded database's file locks, which
  // a child believes held but does not hold): the pool closes those first, so
  // that a child opens its own from nothing. The others a child lets go of unused.
  virtual bool KeptAcrossFork() const { return true; }
};

// Rolls back on destruction unless committed.
class UnitOfWork {
 public:
  explicit UnitOfWork(Connection& conn) : conn_(conn) { conn_.Begin(); }
  ~UnitOfWork() {
    if (!done_) {
      try {
        conn_.Rollback();
      } catch (...) {  // the failure that brought us here is the one to report
      }
    }
  }
  UnitOfWork(const UnitOfWork&) = delete;
  UnitOfWork& operator=(const UnitOfWork&) = delete;
  void Commit() {
    conn_.Commit();
    done_ = true;
  }

 private:
  Connection& conn_;
  bool done_ = false;
};

}  // namespace quillor
