#include "platform/db/odbc/odbc_values.h"

#include "platform/db/odbc/odbc_api.h"

#include <array>
#include <string>

#include "platform/db/odbc/odbc_text.h"

namespace quillor::odbc {
namespace {

// Long texts and binary values arrive in pieces of this many bytes.
constexpr size_t kPieceBytes = 4096;

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

}  // namespace

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

Handle ExecuteDirect(SQLHDBC dbc, std::string_view sent, const char* doing) {
  Handle stmt(SQL_HANDLE_STMT, dbc);
  std::u16string text = Utf8ToUtf16(sent);
  const SQLRETURN rc = SQLExecDirectW(stmt.get(), Wide(text), static_cast<SQLINTEGER>(text.size()));
  if (rc != SQL_NO_DATA) stmt.Check(rc, doing);
  return stmt;
}

}  // namespace quillor::odbc
