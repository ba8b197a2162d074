// The drivers the ODBC driver manager has installed (odbcinst.ini on Linux, the
// registry on Windows), by name.
#pragma once

#include <string>
#include <vector>

namespace quillor {

// Asked afresh at every call, so that a driver installed while the host runs is
// found; none when the driver manager cannot be asked.
std::vector<std::string> InstalledOdbcDrivers();

}  // namespace quillor
