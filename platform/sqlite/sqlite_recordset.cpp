#include "platform/sqlite/sqlite_recordset.h"

#include "platform/connection_text.h"
#include "platform/failure.h"

namespace quillor::sqlite {
namespace {

[[noreturn]] void ItemNotFound() { throw Failure::ItemNotFound(); }

}  // namespace

void SqliteColumns::CheckOpen() const {
  if (closed_) throw Failure::ObjectClosed();
}

void SqliteColumns::NoCurrentRecord() { throw Failure::NoCurrentRecord(); }

const Column& SqliteColumns::ColumnAt(int index) const {
  CheckOpen();
  if (index < 0 || static_cast<size_t>(index) >= columns_.size()) ItemNotFound();
  return columns_[static_cast<size_t>(index)];
}

int SqliteColumns::FieldCount() const {
  CheckOpen();
  return static_cast<int>(columns_.size());
}

int SqliteColumns::FieldIndex(std::string_view name) const {
  CheckOpen();
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoringCase(columns_[i].name, name)) return static_cast<int>(i);
  }
  ItemNotFound();
}

std::string SqliteColumns::FieldName(int index) const { return ColumnAt(index).name; }

int SqliteColumns::FieldType(int index) const { return ColumnAt(index).type; }

bool SqliteRecordset::Eof() const {
  CheckOpen();
  return position_ >= rows_.size();
}

void SqliteRecordset::MoveNext() {
  if (Eof()) NoCurrentRecord();
  ++position_;
}

int64_t SqliteRecordset::RecordCount() const {
  CheckOpen();
  if (cursor_ == CursorType::kForwardOnly) return -1;
  return static_cast<int64_t>(rows_.size());
}

DbValue SqliteRecordset::Value(int index) const {
  ColumnAt(index);
  if (position_ >= rows_.size()) NoCurrentRecord();
  return rows_[position_][static_cast<size_t>(index)];
}

void SqliteRecordset::Close() {
  CheckOpen();
  rows_.clear();
  rows_.shrink_to_fit();
  closed_ = true;
}

}  // namespace quillor::sqlite
