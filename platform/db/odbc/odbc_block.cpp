#include "platform/db/odbc/odbc_block.h"

#include "platform/db/odbc/odbc_api.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/db/odbc/odbc_text.h"
#include "platform/db/odbc/odbc_values.h"

namespace quillor::odbc {
namespace {

// Texts whose declared length is unknown or long (expressions, "text") get a
// buffer of this many characters; a longer value is read again on its own.
constexpr SQLULEN kUnboundedTextChars = 256;
constexpr SQLULEN kLongestBoundText = 2048;
constexpr SQLULEN kLongestBoundBinary = 8000;

size_t WidthOf(FetchKind kind, SQLULEN declared) {
  switch (kind) {
    case FetchKind::kInteger:
      return sizeof(SQLBIGINT);
    case FetchKind::kDouble:
      return sizeof(SQLDOUBLE);
    case FetchKind::kText: {
      const SQLULEN chars =
          declared > 0 && declared <= kLongestBoundText ? declared : kUnboundedTextChars;
      // A character beyond the basic plane takes two UTF-16 units; one more for the terminator.
      return (2 * chars + 1) * sizeof(SQLWCHAR);
    }
    case FetchKind::kBinary:
      return declared > 0 && declared <= kLongestBoundBinary ? declared : kUnboundedTextChars;
  }
  return 0;
}

SQLSMALLINT CTypeOf(FetchKind kind) {
  switch (kind) {
    case FetchKind::kInteger:
      return SQL_C_SBIGINT;
    case FetchKind::kDouble:
      return SQL_C_DOUBLE;
    case FetchKind::kText:
      return SQL_C_WCHAR;
    case FetchKind::kBinary:
      return SQL_C_BINARY;
  }
  return SQL_C_CHAR;
}

// As many rows as asked, unless their arrays would pass the bound: a FETCH of
// 100,000 rows of a wide result would otherwise take over a gigabyte before its
// first row came, however few rows came.
size_t ArrayRows(const ResultColumns& result, size_t block_rows) {
  size_t row_bytes = 0;
  for (size_t i = 0; i < result.kinds.size(); ++i) {
    row_bytes += WidthOf(result.kinds[i], result.sizes[i]) + sizeof(SQLLEN);
  }
  const size_t fitting = row_bytes == 0 ? block_rows : kMostBoundBlockBytes / row_bytes;
  return std::clamp<size_t>(fitting, 1, std::max<size_t>(block_rows, 1));
}

}  // namespace

SQLSMALLINT SkipToRows(const Handle& stmt) {
  SQLSMALLINT count = 0;
  stmt.Check(SQLNumResultCols(stmt.get(), &count), "reading the result");
  while (count == 0) {
    const SQLRETURN rc = SQLMoreResults(stmt.get());
    if (rc == SQL_NO_DATA) break;
    stmt.Check(rc, "reading the result");
    stmt.Check(SQLNumResultCols(stmt.get(), &count), "reading the result");
  }
  return count;
}

ResultColumns DescribeResult(const Handle& stmt, SQLSMALLINT count) {
  ResultColumns result;
  for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
    std::array<SQLWCHAR, 256> name{};
    SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    stmt.Check(SQLDescribeColW(stmt.get(), i, name.data(), static_cast<SQLSMALLINT>(name.size()),
                               &name_length, &sql_type, &size, &digits, &nullable),
               "describing a column");
    const size_t length = std::min(static_cast<size_t>(name_length), name.size() - 1);
    result.columns.push_back(
        {Utf16ToUtf8(WideView(name.data(), length)), AdoTypeFromSqlType(sql_type)});
    result.kinds.push_back(FetchKindForSqlType(sql_type));
    result.sizes.push_back(size);
  }
  return result;
}

BlockReader::BlockReader(const Handle& stmt, const ResultColumns& result, size_t block_rows)
    : stmt_(stmt), kinds_(result.kinds), array_rows_(ArrayRows(result, block_rows)) {
  stmt_.Check(
      SQLSetStmtAttr(stmt_.get(), SQL_ATTR_ROW_BIND_TYPE,
                     reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_BIND_BY_COLUMN)), 0),
      "binding the columns");
  stmt_.Check(SQLSetStmtAttr(stmt_.get(), SQL_ATTR_ROW_ARRAY_SIZE,
                             reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(array_rows_)), 0),
              "binding the columns");
  stmt_.Check(SQLSetStmtAttr(stmt_.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0),
              "binding the columns");
  buffers_.reserve(kinds_.size());
  for (size_t i = 0; i < kinds_.size(); ++i) {
    const size_t width = WidthOf(kinds_[i], result.sizes[i]);
    buffers_.push_back({CTypeOf(kinds_[i]), width, std::vector<char>(width * array_rows_),
                        std::vector<SQLLEN>(array_rows_)});
    Buffer& b = buffers_.back();
    stmt_.Check(SQLBindCol(stmt_.get(), static_cast<SQLUSMALLINT>(i + 1), b.c_type, b.data.data(),
                           static_cast<SQLLEN>(width), b.indicators.data()),
                "binding the columns");
  }
}

void BlockReader::ReadAll(std::vector<Row>& rows) {
  if (kinds_.empty()) return;
  for (;;) {
    fetched_ = 0;
    const SQLRETURN rc = SQLFetch(stmt_.get());
    if (rc == SQL_NO_DATA) return;
    stmt_.Check(rc, "fetching a row");
    for (size_t r = 0; r < fetched_; ++r) {
      Row row;
      row.reserve(kinds_.size());
      for (size_t c = 0; c < kinds_.size(); ++c) row.push_back(Convert(c, r));
      rows.push_back(std::move(row));
    }
  }
}

DbValue BlockReader::Convert(size_t column, size_t row) {
  const Buffer& b = buffers_[column];
  const SQLLEN indicator = b.indicators[row];
  if (indicator == SQL_NULL_DATA) return DbValue();
  const char* at = b.data.data() + row * b.width;
  switch (kinds_[column]) {
    case FetchKind::kInteger: {
      int64_t value = 0;
      std::memcpy(&value, at, sizeof value);
      return DbValue(value);
    }
    case FetchKind::kDouble: {
      double value = 0;
      std::memcpy(&value, at, sizeof value);
      return DbValue(value);
    }
    case FetchKind::kText:
    case FetchKind::kBinary:
      break;
  }
  const bool wide = kinds_[column] == FetchKind::kText;
  const size_t room = wide ? b.width - sizeof(SQLWCHAR) : b.width;
  if (indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) > room) {
    // Longer than its buffer: the row is made current and the value read whole.
    stmt_.Check(SQLSetPos(stmt_.get(), static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION,
                          SQL_LOCK_NO_CHANGE),
                "reading a long value");
    return ReadValue(stmt_, static_cast<SQLUSMALLINT>(column + 1), kinds_[column]);
  }
  const size_t bytes = static_cast<size_t>(indicator);
  if (!wide) return DbValue(std::string(at, bytes));
  // The buffer's rows start at even offsets of an allocation aligned for any type.
  return DbValue(
      Utf16ToUtf8(WideView(reinterpret_cast<const SQLWCHAR*>(at), bytes / sizeof(SQLWCHAR))));
}

}  // namespace quillor::odbc
