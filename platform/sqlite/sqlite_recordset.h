// The results of the embedded database. A result is either read whole when it
// is opened (small lookups: the row count is known at once whatever the cursor)
// or, for a static cursor, streamed from the statement (SqliteCursor).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/database.h"
#include "platform/sqlite/sqlite_row.h"

namespace quillor::sqlite {

// What every result shares: its columns, and the failures of a closed result.
class SqliteColumns : public Recordset {
 public:
  explicit SqliteColumns(std::vector<Column> columns) : columns_(std::move(columns)) {}

  int FieldCount() const override;
  int FieldIndex(std::string_view name) const override;
  std::string FieldName(int index) const override;
  int FieldType(int index) const override;

 protected:
  void CheckOpen() const;
  const Column& ColumnAt(int index) const;
  [[noreturn]] static void NoCurrentRecord();

  std::vector<Column> columns_;
  bool closed_ = false;
};

// A result held in memory.
class SqliteRecordset : public SqliteColumns {
 public:
  SqliteRecordset(std::vector<Column> columns, std::vector<std::vector<DbValue>> rows,
                  CursorType cursor)
      : SqliteColumns(std::move(columns)), rows_(std::move(rows)), cursor_(cursor) {}

  bool Eof() const override;
  void MoveNext() override;
  int64_t RecordCount() const override;
  DbValue Value(int index) const override;
  void Close() override;

  int64_t RowsHeld() const override { return static_cast<int64_t>(rows_.size()); }

 private:
  std::vector<std::vector<DbValue>> rows_;
  CursorType cursor_;
  size_t position_ = 0;
};

}  // namespace quillor::sqlite
