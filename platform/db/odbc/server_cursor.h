// Results read through a cursor on the PostgreSQL server, so that the client
// never holds more than one block of rows however long the result is. The
// driver is left to fetch nothing ahead: each block is one FETCH.
//
// A lookup's result is first read with one round trip: a cursor declared, one
// block fetched and the cursor closed in the same text. A result that fits in
// that block is then held whole (most lookups). A longer one, and a static
// cursor's (a QUERY's) from the start, is declared WITH HOLD, so that no unit of
// work of the component, begun or ended while it is read, closes it; its row
// count, when asked for, is a MOVE FORWARD ALL and a MOVE back. These statements
// are the backend's own: the trace never sees them.
#pragma once

#include "platform/db/odbc/odbc_api.h"

#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/db/database.h"

namespace quillor::odbc {

inline constexpr size_t kDefaultBlockRows = 500;

// What a connection's cursors share with it.
struct CursorSession {
  SQLHDBC dbc = SQL_NULL_HDBC;  // SQL_NULL_HDBC once the connection has closed
  size_t block_rows = kDefaultBlockRows;
  unsigned long long named = 0;
  std::set<std::string> open;  // cursors declared WITH HOLD and not closed yet

  std::string NextName() { return "quillor_cursor_" + std::to_string(++named); }
};

// Whether a statement (in the engine's dialect, already checked to be one
// statement) can be read through a cursor: a query (select, values or table)
// with no semicolon after it.
bool CursorCanRead(std::string_view sent);

std::unique_ptr<Recordset> OpenThroughCursor(const std::shared_ptr<CursorSession>& session,
                                             std::string_view sent, CursorType cursor);

// Closes the cursors a call left open (a result never closed, a close that
// failed); false when that cannot be done.
bool CloseLeftCursors(CursorSession& session);

}  // namespace quillor::odbc
