#include "platform/odbc/odbc_types.h"

#include <sqlext.h>

#include "platform/database.h"

namespace quillor::odbc {
namespace {

// ADO codes the component itself never names.
constexpr int kAdoUnsignedTinyInt = 17;
constexpr int kAdoGuid = 72;
constexpr int kAdoBinary = 128;
constexpr int kAdoVarBinary = 204;

}  // namespace

int AdoTypeFromSqlType(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_CHAR:
      return ado_type::kChar;
    case SQL_VARCHAR:
      return ado_type::kVarChar;
    case SQL_LONGVARCHAR:
      return ado_type::kLongVarChar;
    case SQL_WCHAR:
      return ado_type::kWChar;
    case SQL_WVARCHAR:
      return ado_type::kVarWChar;
    case SQL_WLONGVARCHAR:
      return ado_type::kLongVarWChar;
    case SQL_SMALLINT:
      return ado_type::kSmallInt;
    case SQL_INTEGER:
      return ado_type::kInteger;
    case SQL_BIGINT:
      return ado_type::kBigInt;
    case SQL_TINYINT:
      return kAdoUnsignedTinyInt;
    case SQL_BIT:
      return ado_type::kBoolean;
    case SQL_REAL:
      return ado_type::kSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return ado_type::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ado_type::kNumeric;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return ado_type::kDBDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return ado_type::kDBTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return ado_type::kDBTimeStamp;
    case SQL_BINARY:
      return kAdoBinary;
    case SQL_VARBINARY:
      return kAdoVarBinary;
    case SQL_LONGVARBINARY:
      return ado_type::kLongVarBinary;
    case SQL_GUID:
      return kAdoGuid;
    default:
      return ado_type::kVarChar;
  }
}

FetchKind FetchKindForSqlType(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_TINYINT:
    case SQL_BIT:
      return FetchKind::kInteger;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return FetchKind::kDouble;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return FetchKind::kBinary;
    default:
      return FetchKind::kText;
  }
}

}  // namespace quillor::odbc
