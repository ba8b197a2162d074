// Connections through the ODBC driver manager, for every connection text that
// names no embedded provider.
#pragma once

#include <memory>
#include <string_view>

#include "platform/database.h"

namespace quillor {

// Opens a connection from an ODBC connection string ("Driver=...;Server=...",
// "DSN=..."). Failures carry the driver's number and description.
std::unique_ptr<Connection> OpenOdbcConnection(std::string_view connection_text);

}  // namespace quillor
