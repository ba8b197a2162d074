// A static cursor that streams its rows from the statement instead of holding
// them: memory stays the same however many rows the result has. The row count
// comes from a counting pass over a second copy of the statement, run when it is
// first asked for: a caller that never asks never pays for it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/db/held_recordset.h"
#include "platform/db/sqlite/sqlite_row.h"

namespace quillor::sqlite {

class SqliteCursor : public RecordsetColumns {
 public:
  // `stmt` has been stepped once: `on_row` tells whether it stands on a row.
  // `count` counts the statement's rows; it runs while `stmt` is still open, so
  // under the same read snapshot.
  SqliteCursor(sqlite3* db, StmtHandle stmt, std::vector<Column> columns, bool on_row,
               std::function<int64_t()> count)
      : RecordsetColumns(std::move(columns)),
        db_(db),
        stmt_(std::move(stmt)),
        on_row_(on_row),
        counter_(std::move(count)) {
    if (!on_row_) count_ = 0;
  }

  bool Eof() const override;
  void MoveNext() override;
  int64_t RecordCount() const override;
  DbValue Value(int index) const override;
  void Close() override;

 private:
  sqlite3* db_;
  StmtHandle stmt_;
  bool on_row_;
  int64_t stepped_ = 0;  // rows moved past
  std::function<int64_t()> counter_;
  mutable std::optional<int64_t> count_;
};

}  // namespace quillor::sqlite
