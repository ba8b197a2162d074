// What the recordsets of every backend share: the column list (count, index by
// name, name and type, an unknown name or index being failure 3265, a closed
// result failure 3704), and a result whose rows are all held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/db/database.h"

namespace quillor {

struct Column {
  std::string name;
  int type;  // ado_type code
  // No declared type (an expression): the backend types it from the first row's value.
  bool typed_by_value = false;
};

class RecordsetColumns : public Recordset {
 public:
  explicit RecordsetColumns(std::vector<Column> columns) : columns_(std::move(columns)) {}

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

// A result read whole when it is opened: the row count is known at once whatever
// the cursor, and nothing keeps the statement (or the connection) busy afterwards.
class HeldRecordset : public RecordsetColumns {
 public:
  HeldRecordset(std::vector<Column> columns, std::vector<std::vector<DbValue>> rows,
                CursorType cursor)
      : RecordsetColumns(std::move(columns)), rows_(std::move(rows)), cursor_(cursor) {}

  bool Eof() const override;
  void MoveNext() override;
  int64_t RecordCount() const override;
  DbValue Value(int index) const override;
  using Recordset::Value;
  void Close() override;

  int64_t RowsHeld() const override { return static_cast<int64_t>(rows_.size()); }

 private:
  std::vector<std::vector<DbValue>> rows_;
  CursorType cursor_;
  size_t position_ = 0;
};

}  // namespace quillor
