#include "platform/database.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/connection_text.h"
#include "platform/failure.h"
#include "platform/odbc/odbc_connection.h"
#include "platform/sql_trace.h"
#include "platform/sqlite/sqlite_connection.h"
#include "platform/text.h"

namespace quillor {
namespace {

struct DeclaredType {
  std::string_view name;
  int code;
};

// Declared type names and the ADO code the server's own type of that name
// carries; synonyms and the names other engines give the same types map alike.
constexpr int kAdoUnsignedTinyInt = 17;
constexpr int kAdoVariant = 12;
constexpr int kAdoGuid = 72;
constexpr int kAdoBinary = 128;
constexpr int kAdoVarBinary = 204;

constexpr DeclaredType kDeclaredTypes[] = {
    {"varchar", ado_type::kVarChar},
    {"character varying", ado_type::kVarChar},
    {"char varying", ado_type::kVarChar},
    {"nvarchar", ado_type::kVarWChar},
    {"national character varying", ado_type::kVarWChar},
    {"national char varying", ado_type::kVarWChar},
    {"sysname", ado_type::kVarWChar},
    {"char", ado_type::kChar},
    {"character", ado_type::kChar},
    {"nchar", ado_type::kWChar},
    {"national character", ado_type::kWChar},
    {"national char", ado_type::kWChar},
    {"text", ado_type::kLongVarChar},
    {"ntext", ado_type::kLongVarWChar},
    {"national text", ado_type::kLongVarWChar},
    {"xml", ado_type::kLongVarWChar},
    {"int", ado_type::kInteger},
    {"integer", ado_type::kInteger},
    {"int4", ado_type::kInteger},
    {"smallint", ado_type::kSmallInt},
    {"int2", ado_type::kSmallInt},
    {"tinyint", kAdoUnsignedTinyInt},
    {"bigint", ado_type::kBigInt},
    {"int8", ado_type::kBigInt},
    {"bit", ado_type::kBoolean},
    {"boolean", ado_type::kBoolean},
    {"bool", ado_type::kBoolean},
    {"float", ado_type::kDouble},
    {"double precision", ado_type::kDouble},
    {"double", ado_type::kDouble},
    {"float8", ado_type::kDouble},
    {"real", ado_type::kSingle},
    {"float4", ado_type::kSingle},
    {"decimal", ado_type::kNumeric},
    {"dec", ado_type::kNumeric},
    {"numeric", ado_type::kNumeric},
    {"number", ado_type::kNumeric},
    {"money", ado_type::kCurrency},
    {"smallmoney", ado_type::kCurrency},
    {"datetime", ado_type::kDBTimeStamp},
    {"smalldatetime", ado_type::kDBTimeStamp},
    {"datetime2", ado_type::kDBTimeStamp},
    {"date", ado_type::kDBDate},
    {"time", ado_type::kDBTime},
    {"uniqueidentifier", kAdoGuid},
    {"binary", kAdoBinary},
    {"timestamp", kAdoBinary},  // the server's row version, not a date
    {"rowversion", kAdoBinary},
    {"varbinary", kAdoVarBinary},
    {"binary varying", kAdoVarBinary},
    {"image", ado_type::kLongVarBinary},
    {"sql_variant", kAdoVariant},
};

int CodeOf(std::string_view name) {
  for (const auto& t : kDeclaredTypes) {
    if (name == t.name) return t.code;
  }
  return -1;
}

// The provider a connection text names, read leniently: an ODBC string may use
// forms of its own that are not ours to judge.
std::string ProviderOf(std::string_view text) {
  try {
    return ConnectionText::Parse(text).Get("Provider").value_or("");
  } catch (const Failure&) {
    return "";
  }
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

std::unique_ptr<Connection> OpenUntracedConnection(std::string_view connection_text) {
  if (Trim(connection_text, IsSpace).empty()) {
    throw Failure(failure_numbers::kFail, "[Quillor] the connection text is empty");
  }
  if (EqualsIgnoreCase(Trim(ProviderOf(connection_text), IsSpace), "SQLite")) {
    return sqlite::OpenSqliteConnection(sqlite::ParseSqliteConnectionText(connection_text));
  }
  return OpenOdbcConnection(connection_text);
}

std::unique_ptr<Connection> TracedWhenAsked(std::unique_ptr<Connection> conn) {
  const char* trace = std::getenv("QUILLOR_TRACE_SQL");
  if (trace != nullptr && *trace != '\0') conn = TraceConnection(std::move(conn), trace);
  return conn;
}

std::unique_ptr<Connection> OpenConnection(std::string_view connection_text) {
  return TracedWhenAsked(OpenUntracedConnection(connection_text));
}

}  // namespace quillor
