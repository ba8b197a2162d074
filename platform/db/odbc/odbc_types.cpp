#include "platform/db/odbc/odbc_types.h"

#include "platform/db/odbc/odbc_api.h"

#include "platform/db/database.h"

namespace quillor::odbc {
namespace {

struct SqlTypeMapping {
  SQLSMALLINT sql_type;
  int ado_code;
  FetchKind fetch;
};

// Each SQL type SQLDescribeCol may report, the ADO code it is reported as, and
// how its values are read.
constexpr SqlTypeMapping kSqlTypes[] = {
    {SQL_CHAR, ado_type::kChar, FetchKind::kText},
    {SQL_VARCHAR, ado_type::kVarChar, FetchKind::kText},
    {SQL_LONGVARCHAR, ado_type::kLongVarChar, FetchKind::kText},
    {SQL_WCHAR, ado_type::kWChar, FetchKind::kText},
    {SQL_WVARCHAR, ado_type::kVarWChar, FetchKind::kText},
    {SQL_WLONGVARCHAR, ado_type::kLongVarWChar, FetchKind::kText},
    {SQL_SMALLINT, ado_type::kSmallInt, FetchKind::kInteger},
    {SQL_INTEGER, ado_type::kInteger, FetchKind::kInteger},
    {SQL_BIGINT, ado_type::kBigInt, FetchKind::kInteger},
    {SQL_TINYINT, ado_type::kUnsignedTinyInt, FetchKind::kInteger},
    {SQL_BIT, ado_type::kBoolean, FetchKind::kInteger},
    {SQL_REAL, ado_type::kSingle, FetchKind::kDouble},
    {SQL_FLOAT, ado_type::kDouble, FetchKind::kDouble},
    {SQL_DOUBLE, ado_type::kDouble, FetchKind::kDouble},
    {SQL_DECIMAL, ado_type::kNumeric, FetchKind::kDouble},
    {SQL_NUMERIC, ado_type::kNumeric, FetchKind::kDouble},
    {SQL_TYPE_DATE, ado_type::kDBDate, FetchKind::kText},
    {SQL_DATE, ado_type::kDBDate, FetchKind::kText},
    {SQL_TYPE_TIME, ado_type::kDBTime, FetchKind::kText},
    {SQL_TIME, ado_type::kDBTime, FetchKind::kText},
    {SQL_TYPE_TIMESTAMP, ado_type::kDBTimeStamp, FetchKind::kText},
    {SQL_TIMESTAMP, ado_type::kDBTimeStamp, FetchKind::kText},
    {SQL_BINARY, ado_type::kBinary, FetchKind::kBinary},
    {SQL_VARBINARY, ado_type::kVarBinary, FetchKind::kBinary},
    {SQL_LONGVARBINARY, ado_type::kLongVarBinary, FetchKind::kBinary},
    {SQL_GUID, ado_type::kGuid, FetchKind::kText},
};

// A type of no row (a driver's own) is reported as adVarChar and read as text.
constexpr SqlTypeMapping kDriverType = {SQL_UNKNOWN_TYPE, ado_type::kVarChar, FetchKind::kText};

const SqlTypeMapping& MappingOf(SQLSMALLINT sql_type) {
  for (const SqlTypeMapping& m : kSqlTypes) {
    if (m.sql_type == sql_type) return m;
  }
  return kDriverType;
}

}  // namespace

int AdoTypeFromSqlType(SQLSMALLINT sql_type) { return MappingOf(sql_type).ado_code; }

FetchKind FetchKindForSqlType(SQLSMALLINT sql_type) { return MappingOf(sql_type).fetch; }

}  // namespace quillor::odbc
