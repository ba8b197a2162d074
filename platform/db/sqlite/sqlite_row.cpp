#include "platform/db/sqlite/sqlite_row.h"

#include "platform/db/database.h"

namespace quillor::sqlite {
namespace {

int TypeFromStorageClass(int storage_class) {
  switch (storage_class) {
    case SQLITE_INTEGER:
      return ado_type::kInteger;
    case SQLITE_FLOAT:
      return ado_type::kDouble;
    default:
      return ado_type::kVarChar;
  }
}

}  // namespace

std::vector<Column> ReadColumns(sqlite3_stmt* stmt) {
  const int count = sqlite3_column_count(stmt);
  std::vector<Column> columns(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    Column& column = columns[static_cast<size_t>(i)];
    const char* name = sqlite3_column_name(stmt, i);
    column.name = name ? name : "";
    const char* declared = sqlite3_column_decltype(stmt, i);
    column.typed_by_value = declared == nullptr;
    column.type = declared ? AdoTypeFromDeclaredType(declared) : ado_type::kVarChar;
  }
  return columns;
}

void TypeFromRow(sqlite3_stmt* stmt, std::vector<Column>& columns) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].typed_by_value) {
      columns[i].type = TypeFromStorageClass(sqlite3_column_type(stmt, static_cast<int>(i)));
    }
  }
}

DbValue ReadValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
      return DbValue(static_cast<int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
      return DbValue(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const void* data = sqlite3_column_blob(stmt, i);
      const int size = sqlite3_column_bytes(stmt, i);
      return DbValue(std::string(static_cast<const char*>(data), static_cast<size_t>(size)));
    }
    default:
      return DbValue();
  }
}

}  // namespace quillor::sqlite
