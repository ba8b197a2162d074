#include "platform/sqlite/sqlite_recordset.h"

#include "platform/connection_text.h"
#include "platform/failure.h"

namespace quillor::sqlite {
namespace {

constexpr int32_t kNoCurrentRecord = 3021;
constexpr int32_t kObjectClosed = 3704;

[[noreturn]] void ItemNotFound() {
  throw Failure(failure_numbers::kItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name or "
                "ordinal.");
}

}  // namespace

void SqliteRecordset::CheckOpen() const {
  if (closed_) throw Failure(kObjectClosed, "Operation is not allowed when the object is closed.");
}

const Column& SqliteRecordset::ColumnAt(int index) const {
  CheckOpen();
  if (index < 0 || static_cast<size_t>(index) >= columns_.size()) ItemNotFound();
  return columns_[static_cast<size_t>(index)];
}

bool SqliteRecordset::Eof() const {
  CheckOpen();
  return position_ >= rows_.size();
}

void SqliteRecordset::MoveNext() {
  if (Eof()) {
    throw Failure(kNoCurrentRecord,
                  "Either BOF or EOF is True, or the current record has been deleted. Requested "
                  "operation requires a current record.");
  }
  ++position_;
}

int64_t SqliteRecordset::RecordCount() const {
  CheckOpen();
  if (cursor_ == CursorType::kForwardOnly) return -1;
  return static_cast<int64_t>(rows_.size());
}

int SqliteRecordset::FieldCount() const {
  CheckOpen();
  return static_cast<int>(columns_.size());
}

int SqliteRecordset::FieldIndex(std::string_view name) const {
  CheckOpen();
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoringCase(columns_[i].name, name)) return static_cast<int>(i);
  }
  ItemNotFound();
}

std::string SqliteRecordset::FieldName(int index) const { return ColumnAt(index).name; }

int SqliteRecordset::FieldType(int index) const { return ColumnAt(index).type; }

DbValue SqliteRecordset::Value(int index) const {
  ColumnAt(index);
  if (position_ >= rows_.size()) {
    throw Failure(kNoCurrentRecord,
                  "Either BOF or EOF is True, or the current record has been deleted. Requested "
                  "operation requires a current record.");
  }
  return rows_[position_][static_cast<size_t>(index)];
}

void SqliteRecordset::Close() {
  CheckOpen();
  rows_.clear();
  rows_.shrink_to_fit();
  closed_ = true;
}

}  // namespace quillor::sqlite
