#include "platform/db/held_recordset.h"

#include "platform/base/failure.h"
#include "platform/base/text.h"

namespace quillor {

void RecordsetColumns::CheckOpen() const {
  if (closed_) throw Failure::ObjectClosed();
}

void RecordsetColumns::NoCurrentRecord() { throw Failure::NoCurrentRecord(); }

const Column& RecordsetColumns::ColumnAt(int index) const {
  CheckOpen();
  if (index < 0 || static_cast<size_t>(index) >= columns_.size()) throw Failure::ItemNotFound();
  return columns_[static_cast<size_t>(index)];
}

int RecordsetColumns::FieldCount() const {
  CheckOpen();
  return static_cast<int>(columns_.size());
}

int RecordsetColumns::FieldIndex(std::string_view name) const {
  CheckOpen();
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreCase(columns_[i].name, name)) return static_cast<int>(i);
  }
  throw Failure::ItemNotFound();
}

std::string RecordsetColumns::FieldName(int index) const { return ColumnAt(index).name; }

int RecordsetColumns::FieldType(int index) const { return ColumnAt(index).type; }

bool HeldRecordset::Eof() const {
  CheckOpen();
  return position_ >= rows_.size();
}

void HeldRecordset::MoveNext() {
  if (Eof()) NoCurrentRecord();
  ++position_;
}

int64_t HeldRecordset::RecordCount() const {
  CheckOpen();
  if (cursor_ == CursorType::kForwardOnly) return -1;
  return static_cast<int64_t>(rows_.size());
}

DbValue HeldRecordset::Value(int index) const {
  ColumnAt(index);
  if (position_ >= rows_.size()) NoCurrentRecord();
  return rows_[position_][static_cast<size_t>(index)];
}

void HeldRecordset::Close() {
  CheckOpen();
  rows_.clear();
  rows_.shrink_to_fit();
  closed_ = true;
}

}  // namespace quillor
