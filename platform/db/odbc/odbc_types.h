// How a result column's ODBC type is reported (as an ADO type code) and fetched.
#pragma once

#include "platform/db/odbc/odbc_api.h"

namespace quillor::odbc {

// The ADO DataTypeEnum code for an ODBC SQL type as SQLDescribeCol reports it. Types
// without an ADO counterpart of their own (driver-specific ones) report adVarChar and
// are read as text.
int AdoTypeFromSqlType(SQLSMALLINT sql_type);

enum class FetchKind { kInteger, kDouble, kText, kBinary };

// Integers (bit included) as 64-bit integers, floating and decimal numbers as doubles,
// binary data as its bytes, everything else (dates and times included) as text.
FetchKind FetchKindForSqlType(SQLSMALLINT sql_type);

}  // namespace quillor::odbc
