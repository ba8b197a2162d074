// The driver's diagnostics as the component's failures.
#pragma once

#include "platform/db/odbc/odbc_api.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/failure.h"

namespace quillor::odbc {

struct DiagRecord {
  std::string state;  // the five-character SQLSTATE
  int32_t native = 0;
  std::string message;  // as the driver manager and driver report it ("[unixODBC][Driver]...")
};

// Every diagnostic record the handle holds, in order.
std::vector<DiagRecord> ReadDiagnostics(SQLSMALLINT handle_type, SQLHANDLE handle);

// The failure number for a SQLSTATE: a statement the engine rejects (class 42, and the
// older 37000, S0002, S0022), a constraint violation (class 23), else a general failure
// (connection 08xxx, login 28000, driver HYxxx, ...).
int32_t FailureNumberForState(std::string_view state);

// The number of the first record, and every record's message, in order, one per line
// (trailing line breaks of each dropped). With no record at all, a general failure
// naming what was being done.
Failure FailureFromDiagnostics(const std::vector<DiagRecord>& records, std::string_view doing);

// Throws the handle's diagnostics as a failure unless the call succeeded.
void Check(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view doing);

}  // namespace quillor::odbc
