// Opening a connection from a connection text: the one place that knows the
// backends.
#pragma once

#include <memory>
#include <string_view>

#include "platform/db/connection_text.h"
#include "platform/db/database.h"

namespace quillor {

// Opens a connection from a connection text. "Provider=SQLite;Data Source=PATH"
// (keys in any case; optional Synchronous=Full|Normal and Busy Timeout=MS) opens
// an existing SQLite database file; any other text is an ODBC connection string.
// When QUILLOR_TRACE_SQL names a file, the connection traces every statement.
std::unique_ptr<Connection> OpenConnection(std::string_view connection_text);

// The same, never traced, from a text already read (ConnectionText::Lenient).
std::unique_ptr<Connection> OpenUntracedConnection(const ConnectionText& connection_text);

// Wraps the connection in the trace when QUILLOR_TRACE_SQL names a file (read at
// every call, so that a process can start or stop tracing as it runs).
std::unique_ptr<Connection> TracedWhenAsked(std::unique_ptr<Connection> conn);

}  // namespace quillor
