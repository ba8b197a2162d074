// For tests of the SQLite backend: a fresh SQLite host database file with the host
// tables and no rows, and a connection to it open for the test's life.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "schema/host_schema.h"
#include "testing/temp_dir.h"

namespace quillor::testing {

class SqliteHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("host.db");
    CreateSqliteDatabaseFile(path_);
    conn_ = OpenConnection(SqliteText(path_));
    CreateHostTables(*conn_);
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<Connection> conn_;
};

}  // namespace quillor::testing
