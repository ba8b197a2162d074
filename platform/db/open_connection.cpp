#include "platform/db/open_connection.h"

#include <cstdlib>
#include <string>

#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/db/connection_text.h"
#include "platform/db/odbc/odbc_connection.h"
#include "platform/db/odbc/odbc_drivers.h"
#include "platform/db/provider_text.h"
#include "platform/db/sql_trace.h"
#include "platform/db/sqlite/sqlite_connection.h"

namespace quillor {

std::unique_ptr<Connection> OpenUntracedConnection(const ConnectionText& connection_text) {
  if (Trim(connection_text.text(), IsSpace).empty()) {
    throw Failure(failure_numbers::kFail, "[Quillor] the connection text is empty");
  }
  // A text that is not pairs names no provider: an ODBC string may use forms of
  // its own that are not ours to judge.
  OdbcOpening opening;
  switch (ProviderOf(connection_text)) {
    case ProviderKind::kSqlite:
      return sqlite::OpenSqliteConnection(sqlite::ParseSqliteConnectionText(connection_text));
    case ProviderKind::kOdbc:
      opening = OdbcOpeningOf(connection_text);
      break;
    case ProviderKind::kSqlServer:
#ifdef _WIN32
      opening = SqlServerOpeningOf(connection_text, {true, InstalledOdbcDrivers()});
#else
      opening = SqlServerOpeningOf(connection_text, {false, InstalledOdbcDrivers()});
#endif
      break;
  }
  return OpenOdbcConnection(opening.text, opening.login_timeout_seconds);
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
