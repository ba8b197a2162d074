// Connections through the ODBC driver manager, for every connection text that
// names no embedded provider: SQL Server, PostgreSQL, or any engine with a driver.
#pragma once

#include <memory>
#include <string_view>

#include "platform/db/database.h"

namespace quillor {

// Opens a connection from an ODBC connection string ("Driver=...;Server=...",
// "DSN=...") without ever prompting. Failures carry the driver's diagnostics as
// their description. The dialect is the engine's, as the driver names it:
// PostgreSQL receives the few adaptations it needs, every other engine the
// statements exactly as formed.
std::unique_ptr<Connection> OpenOdbcConnection(std::string_view connection_text);

// The same, waiting login_timeout_seconds for the server (0: as long as the
// driver does) where the text alone waits 15 seconds, as the host's database
// layer does.
std::unique_ptr<Connection> OpenOdbcConnection(std::string_view connection_text,
                                               unsigned login_timeout_seconds);

}  // namespace quillor
