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
namespace {

// The provider a connection text names, read leniently: an ODBC string may use
// forms of its own that are not ours to judge.
std::string ProviderOf(std::string_view text) {
  try {
    return ConnectionText::Parse(text).Get("Provider").value_or("");
  } catch (const Failure&) {
    return "";
  }
}

}  // namespace

std::unique_ptr<Connection> OpenUntracedConnection(std::string_view connection_text) {
  if (Trim(connection_text, IsSpace).empty()) {
    throw Failure(failure_numbers::kFail, "[Quillor] the connection text is empty");
  }
  if (EqualsIgnoreCase(Trim(ProviderOf(connection_text), IsSpace), "SQLite")) {
    return sqlite::OpenSqliteConnection(sqlite::ParseSqliteConnectionText(connection_text));
  }
  return OpenOdbcConnection(connection_text);
}

std::unique_ptr<Connection> TracedWhenAsked(std::unique_ptr<Connection> conn) {
  const char* trace = std::getenv("QUILLOR_TRACE_SQL");
  if (trace != nullptr && *trace != '\0') conn = TraceConnection(std::move(conn), trace);
  return conn;
}

std::unique_ptr<Connection> OpenConnection(std::string_view connection_text) {
  return TracedWhenAsked(OpenUntracedConnection(connection_text));
}

}  // namespace quillor
