// In-memory stand-ins for a recordset and a connection, for tests that need exact
// column types (every ADO code) or very long lists without a database.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/db/database.h"
#include "platform/db/held_recordset.h"

namespace quillor::testing_fakes {

using quillor::Column;

// Its column list is the backends' own (names found whatever their case, an
// unknown name failure 3265); the rows are read without the cursor's checks.
class FakeRecordset : public RecordsetColumns {
 public:
  FakeRecordset(std::vector<Column> columns, std::vector<std::vector<DbValue>> rows = {})
      : RecordsetColumns(std::move(columns)), rows_(std::move(rows)) {}

  bool Eof() const override { return row_ >= rows_.size(); }
  void MoveNext() override { ++row_; }
  int64_t RecordCount() const override { return static_cast<int64_t>(rows_.size()); }
  DbValue Value(int index) const override { return rows_.at(row_).at(index); }
  void Close() override { close_called_ = true; }
  using Recordset::Value;

  bool closed() const { return close_called_; }

 private:
  std::vector<std::vector<DbValue>> rows_;
  size_t row_ = 0;
  bool close_called_ = false;
};

// Answers every statement with a recordset of the given columns and rows and
// keeps the statements it was given.
class FakeConnection : public Connection {
 public:
  FakeConnection(std::vector<Column> columns, std::vector<std::vector<DbValue>> rows = {})
      : columns_(std::move(columns)), rows_(std::move(rows)) {}

  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override {
    opened.emplace_back(std::string(sql), cursor);
    // The check statement returns no rows.
    const bool check = opened.size() == 1;
    return std::make_unique<FakeRecordset>(columns_,
                                           check ? std::vector<std::vector<DbValue>>{} : rows_);
  }
  int64_t Execute(std::string_view) override { return 0; }
  void Begin() override {}
  void Commit() override {}
  void Rollback() override {}

  std::vector<std::pair<std::string, CursorType>> opened;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<DbValue>> rows_;
};

}  // namespace quillor::testing_fakes
