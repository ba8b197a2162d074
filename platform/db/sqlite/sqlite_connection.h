// The embedded SQLite database as a Connection.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/db/connection_text.h"
#include "platform/db/database.h"

namespace quillor::sqlite {

struct SqliteSettings {
  std::string path;
  bool synchronous_full = true;
  int busy_timeout_ms = 5000;
};

// Reads "Provider=SQLite;Data Source=PATH[;Synchronous=Full|Normal][;Busy Timeout=MS]".
SqliteSettings ParseSqliteConnectionText(const ConnectionText& text);
SqliteSettings ParseSqliteConnectionText(std::string_view text);

// Opens an existing database file (a missing file is a failure, never created),
// in write-ahead-log mode.
std::unique_ptr<Connection> OpenSqliteConnection(const SqliteSettings& settings);

}  // namespace quillor::sqlite
