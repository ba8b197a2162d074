#include "platform/db/sqlite/sqlite_cursor.h"

#include "platform/db/sqlite/sqlite_error.h"

namespace quillor::sqlite {

bool SqliteCursor::Eof() const {
  CheckOpen();
  return !on_row_;
}

void SqliteCursor::MoveNext() {
  if (Eof()) NoCurrentRecord();
  const int rc = sqlite3_step(stmt_.get());
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    on_row_ = false;
    throw LastFailure(db_, rc);
  }
  ++stepped_;
  on_row_ = rc == SQLITE_ROW;
}

int64_t SqliteCursor::RecordCount() const {
  CheckOpen();
  if (!count_) {
    // At its end the statement no longer holds the snapshot, but the rows it gave
    // are all known.
    count_ = on_row_ ? counter_() : stepped_;
  }
  return *count_;
}

DbValue SqliteCursor::Value(int index) const {
  ColumnAt(index);
  if (!on_row_) NoCurrentRecord();
  return ReadValue(stmt_.get(), index);
}

void SqliteCursor::Close() {
  CheckOpen();
  stmt_.reset();
  on_row_ = false;
  closed_ = true;
}

}  // namespace quillor::sqlite
