#include "platform/db/open_connection.h"

#include <cstdlib>
#include <string>

#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/db/connection_text.h"
#include "platform/db/odbc/odbc_connection.h"
#include "platform/db/sql_trace.h"
#include "platform/db/sqlite/sqlite_connection.h"

namespace quillor {

std::unique_ptr<Connection> OpenUntracedConnection(const ConnectionText& connection_text) {
  if (Trim(connection_text.text(), IsSpace).empty()) {
    throw Failure(failure_numbers::kFail, "[Quillor] the connection text is empty");
  }
  // A text that is not pairs names no provider: an ODBC string may use forms of
  // its own that are not ours to judge.
  if (EqualsIgnoreCase(Trim(connection_text.Get("Provider").value_or(""), IsSpace), "SQLite")) {
    return sqlite::OpenSqliteConnection(sqlite::ParseSqliteConnectionText(connection_text));
  }
  return OpenOdbcConnection(connection_text.text());
}

std::unique_ptr<Connection> TracedWhenAsked(std::unique_ptr<Connection> conn) {
  const char* trace = std::getenv("QUILLOR_TRACE_SQL");
  if (trace != nullptr && *trace != '\0') conn = TraceConnection(std::move(conn), trace);
  return conn;
}

std::unique_ptr<Connection> OpenConnection(std::string_view connection_text) {
  return TracedWhenAsked(OpenUntracedConnection(ConnectionText::Lenient(connection_text)));
}

}  // namespace quillor
