// The ODBC API: unixODBC's headers on Linux, the system's on Windows, where they
// need the base Windows types declared first. Only those: the full Windows
// headers would define the status codes as macros over the component's own.
#pragma once

#ifdef _WIN32
#include <windef.h>
#endif

#include <sql.h>
#include <sqlext.h>
