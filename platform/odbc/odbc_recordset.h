// A result read whole when it is opened: every row is held, so the row count is known
// at once and nothing keeps the statement (or the connection) busy afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/database.h"

namespace quillor::odbc {

struct Column {
  std::string name;
  int type;  // ado_type code
};

class OdbcRecordset : public Recordset {
 public:
  OdbcRecordset(std::vector<Column> columns, std::vector<std::vector<DbValue>> rows,
                CursorType cursor)
      : columns_(std::move(columns)), rows_(std::move(rows)), cursor_(cursor) {}

  bool Eof() const override;
  void MoveNext() override;
  int64_t RecordCount() const override;
  int FieldCount() const override;
  int FieldIndex(std::string_view name) const override;
  std::string FieldName(int index) const override;
  int FieldType(int index) const override;
  DbValue Value(int index) const override;
  void Close() override;

  int64_t RowsHeld() const override { return static_cast<int64_t>(rows_.size()); }

 private:
  void CheckOpen() const;
  const Column& ColumnAt(int index) const;

  std::vector<Column> columns_;
  std::vector<std::vector<DbValue>> rows_;
  CursorType cursor_;
  size_t position_ = 0;
  bool closed_ = false;
};

}  // namespace quillor::odbc
