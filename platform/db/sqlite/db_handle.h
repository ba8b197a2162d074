// An open SQLite database, closed when the handle goes.
#pragma once

#include <sqlite3.h>

#include <memory>

namespace quillor::sqlite {

struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbClose>;

}  // namespace quillor::sqlite
