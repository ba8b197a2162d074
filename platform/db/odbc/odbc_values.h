// Reading one value of the current row through SQLGetData, for the rows that
// are not read in blocks and the values too long for their block's buffer.
#pragma once

#include "platform/db/odbc/odbc_api.h"

#include "platform/base/db_value.h"
#include "platform/db/odbc/odbc_handle.h"
#include "platform/db/odbc/odbc_types.h"

namespace quillor::odbc {

DbValue ReadValue(const Handle& stmt, SQLUSMALLINT column, FetchKind kind);

// Runs a text the backend formed itself (its checks, its cursors) as it stands.
// A statement that changes no row is no failure (ODBC reports it as "no data").
Handle ExecuteDirect(SQLHDBC dbc, std::string_view sent, const char* doing);

}  // namespace quillor::odbc
