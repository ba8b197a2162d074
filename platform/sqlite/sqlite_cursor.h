// A static cursor that streams its rows from the statement instead of holding
// them: memory stays the same however many rows the result has. The row count
// is known at open, from a counting pass over a second copy of the statement.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/sqlite/sqlite_recordset.h"

namespace quillor::sqlite {

class SqliteCursor : public SqliteColumns {
 public:
  // `stmt` has been stepped once: `on_row` tells whether it stands on a row.
  SqliteCursor(sqlite3* db, StmtHandle stmt, std::vector<Column> columns, bool on_row,
               int64_t count)
      : SqliteColumns(std::move(columns)),
        db_(db),
        stmt_(std::move(stmt)),
        on_row_(on_row),
        count_(count) {}

  bool Eof() const override;
  void MoveNext() override;
  int64_t RecordCount() const override;
  DbValue Value(int index) const override;
  void Close() override;

 private:
  sqlite3* db_;
  StmtHandle stmt_;
  bool on_row_;
  int64_t count_;
};

}  // namespace quillor::sqlite
