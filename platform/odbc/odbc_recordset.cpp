#include "platform/odbc/odbc_recordset.h"

#include <algorithm>
#include <cctype>

#include "platform/failure.h"

namespace quillor::odbc {
namespace {

// The database layer's faults, as with the embedded database.
[[noreturn]] void NoCurrentRecord() { throw Failure::NoCurrentRecord(); }
[[noreturn]] void ItemNotFound() { throw Failure::ItemNotFound(); }

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

void OdbcRecordset::CheckOpen() const {
  if (closed_) throw Failure::ObjectClosed();
}

const Column& OdbcRecordset::ColumnAt(int index) const {
  CheckOpen();
  if (index < 0 || static_cast<size_t>(index) >= columns_.size()) ItemNotFound();
  return columns_[static_cast<size_t>(index)];
}

bool OdbcRecordset::Eof() const {
  CheckOpen();
  return position_ >= rows_.size();
}

void OdbcRecordset::MoveNext() {
  if (Eof()) NoCurrentRecord();
  ++position_;
}

int64_t OdbcRecordset::RecordCount() const {
  CheckOpen();
  if (cursor_ == CursorType::kForwardOnly) return -1;
  return static_cast<int64_t>(rows_.size());
}

int OdbcRecordset::FieldCount() const {
  CheckOpen();
  return static_cast<int>(columns_.size());
}

int OdbcRecordset::FieldIndex(std::string_view name) const {
  CheckOpen();
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (SameName(columns_[i].name, name)) return static_cast<int>(i);
  }
  ItemNotFound();
}

std::string OdbcRecordset::FieldName(int index) const { return ColumnAt(index).name; }

int OdbcRecordset::FieldType(int index) const { return ColumnAt(index).type; }

DbValue OdbcRecordset::Value(int index) const {
  ColumnAt(index);
  if (position_ >= rows_.size()) NoCurrentRecord();
  return rows_[position_][static_cast<size_t>(index)];
}

void OdbcRecordset::Close() {
  CheckOpen();
  rows_.clear();
  rows_.shrink_to_fit();
  closed_ = true;
}

}  // namespace quillor::odbc
