#include "schema/host_database.h"

#include <memory>

#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/db/connection_text.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "schema/host_schema.h"
#include "schema/sample_data.h"

namespace quillor {

std::optional<std::string> SqliteDataSource(std::string_view text) {
  // Read as the component reads it, so that init-db creates the very file the
  // component then opens (a quoted Data Source may hold a semicolon).
  try {
    const ConnectionText parsed = ConnectionText::Parse(text);
    const auto provider = parsed.Get("Provider");
    if (!provider || !EqualsIgnoreCase(*provider, "SQLite")) return std::nullopt;
    auto source = parsed.Get("Data Source");
    if (!source || source->empty()) return std::nullopt;
    return source;
  } catch (const Failure&) {  // not a text of ours: the component hands it to ODBC
    return std::nullopt;
  }
}

void PrepareHostDatabase(const std::string& connection, bool sample,
                         std::vector<std::string>& report) {
  if (const auto file = SqliteDataSource(connection)) {
    CreateSqliteDatabaseFile(*file);
    report.push_back("database file " + *file);
  }
  std::unique_ptr<Connection> conn = OpenConnection(connection);
  if (AllHostTablesPresent(*conn)) {
    report.push_back("host tables already present");
  } else {
    CreateHostTables(*conn);
    report.push_back("host tables created");
  }
  if (sample) {
    for (const std::string& line : InsertSampleData(*conn)) report.push_back("  " + line);
  }
}

}  // namespace quillor
