#include "platform/db/database.h"

#include <array>
#include <cctype>
#include <string>

#include "platform/base/failure.h"
#include "platform/base/text.h"

namespace quillor {
namespace {

// Each ADO code with the declared type names that carry it: the server's own type
// of that name, its synonyms, and the names other engines give the same type.
struct DeclaredTypes {
  int code;
  std::array<std::string_view, 4> names;  // unused places are empty
};

constexpr DeclaredTypes kDeclaredTypes[] = {
    {ado_type::kVarChar, {"varchar", "character varying", "char varying"}},
    {ado_type::kVarWChar,
     {"nvarchar", "national character varying", "national char varying", "sysname"}},
    {ado_type::kChar, {"char", "character"}},
    {ado_type::kWChar, {"nchar", "national character", "national char"}},
    {ado_type::kLongVarChar, {"text"}},
    {ado_type::kLongVarWChar, {"ntext", "national text", "xml"}},
    {ado_type::kInteger, {"int", "integer", "int4"}},
    {ado_type::kSmallInt, {"smallint", "int2"}},
    {ado_type::kUnsignedTinyInt, {"tinyint"}},
    {ado_type::kBigInt, {"bigint", "int8"}},
    {ado_type::kBoolean, {"bit", "boolean", "bool"}},
    {ado_type::kDouble, {"float", "double precision", "double", "float8"}},
    {ado_type::kSingle, {"real", "float4"}},
    {ado_type::kNumeric, {"decimal", "dec", "numeric", "number"}},
    {ado_type::kCurrency, {"money", "smallmoney"}},
    {ado_type::kDBTimeStamp, {"datetime", "smalldatetime", "datetime2"}},
    {ado_type::kDBDate, {"date"}},
    {ado_type::kDBTime, {"time"}},
    {ado_type::kGuid, {"uniqueidentifier"}},
    // "timestamp" is the server's row version, not a date.
    {ado_type::kBinary, {"binary", "timestamp", "rowversion"}},
    {ado_type::kVarBinary, {"varbinary", "binary varying"}},
    {ado_type::kLongVarBinary, {"image"}},
    {ado_type::kVariant, {"sql_variant"}},
};

int CodeOf(std::string_view name) {
  for (const DeclaredTypes& t : kDeclaredTypes) {
    for (const std::string_view n : t.names) {
      if (!n.empty() && name == n) return t.code;
    }
  }
  return -1;
}

}  // namespace

int AdoTypeFromDeclaredType(std::string_view declared) {
  // Blanks of any kind and number between words read as one blank.
  std::string lowered;
  for (const char c : AsciiLower(Trim(declared, IsSpace))) {
    const bool blank = IsSpace(c);
    if (blank && (lowered.empty() || lowered.back() == ' ')) continue;
    lowered += blank ? ' ' : c;
  }
  std::string_view base = lowered;
  std::string_view parameters;
  if (const size_t paren = base.find('('); paren != std::string_view::npos) {
    parameters = Trim(base.substr(paren), IsSpace);
    base = Trim(base.substr(0, paren), IsSpace);
  }
  // The (max) forms are the server's long types.
  if (parameters.starts_with("(max)")) {
    if (base == "varbinary") return ado_type::kLongVarBinary;
    if (base == "varchar") return ado_type::kLongVarChar;
    if (base == "nvarchar") return ado_type::kLongVarWChar;
  }
  // The longest run of leading words that names a type decides, so that what
  // follows the type ("int identity", "int not null") does not hide it.
  while (!base.empty()) {
    if (const int code = CodeOf(base); code >= 0) return code;
    const size_t blank = base.rfind(' ');
    if (blank == std::string_view::npos) break;
    base = Trim(base.substr(0, blank), IsSpace);
  }
  return ado_type::kVarChar;
}

}  // namespace quillor
