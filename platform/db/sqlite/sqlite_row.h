// Reading a prepared statement's columns and current row.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/base/db_value.h"
#include "platform/db/held_recordset.h"

namespace quillor::sqlite {

struct StmtFinalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

// The statement's columns, typed from their declarations.
std::vector<Column> ReadColumns(sqlite3_stmt* stmt);

// Gives the columns without a declared type the type of the current row's values.
void TypeFromRow(sqlite3_stmt* stmt, std::vector<Column>& columns);

// The value of column i of the current row.
DbValue ReadValue(sqlite3_stmt* stmt, int i);

}  // namespace quillor::sqlite
