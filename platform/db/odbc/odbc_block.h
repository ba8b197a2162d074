// A result's rows read in blocks: SQL_ATTR_ROW_ARRAY_SIZE rows per SQLFetch into
// column arrays bound once, each value converted once into the row it belongs to.
#pragma once

#include "platform/db/odbc/odbc_api.h"

#include <cstddef>
#include <vector>

#include "platform/db/held_recordset.h"
#include "platform/db/odbc/odbc_handle.h"
#include "platform/db/odbc/odbc_types.h"

namespace quillor::odbc {

using Row = std::vector<DbValue>;

struct ResultColumns {
  std::vector<Column> columns;
  std::vector<FetchKind> kinds;
  std::vector<SQLULEN> sizes;  // as the driver declares them (characters or bytes; 0 unknown)
};

// Moves past the results without columns that come before the rows (row counts
// of triggers, batches); the number of columns of the result it stops on (0 when
// none has rows).
SQLSMALLINT SkipToRows(const Handle& stmt);

// The columns of the statement's current result.
ResultColumns DescribeResult(const Handle& stmt, SQLSMALLINT count);

// The most bytes the bound column arrays of one reader take, whatever the rows
// asked for a block: a block of wide rows is fetched from the driver in several
// arrays, each of at most this many bytes (and at least one row).
inline constexpr size_t kMostBoundBlockBytes = size_t{8} << 20;

class BlockReader {
 public:
  // Binds the columns of `stmt`'s current result; the binding serves every later
  // result of the same columns on that statement (a prepared FETCH run again).
  // The arrays hold `block_rows` rows, or as many as kMostBoundBlockBytes allows.
  BlockReader(const Handle& stmt, const ResultColumns& result, size_t block_rows);

  // The rows of one array (one SQLFetch).
  size_t array_rows() const { return array_rows_; }
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // Appends every row of the statement's current result.
  void ReadAll(std::vector<Row>& rows);

 private:
  struct Buffer {
    SQLSMALLINT c_type;
    size_t width;  // bytes per row
    std::vector<char> data;
    std::vector<SQLLEN> indicators;
  };

  DbValue Convert(size_t column, size_t row);

  const Handle& stmt_;
  std::vector<FetchKind> kinds_;
  std::vector<Buffer> buffers_;
  size_t array_rows_;
  SQLULEN fetched_ = 0;
};

}  // namespace quillor::odbc
