#include "platform/database.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/connection_text.h"
#include "platform/failure.h"
#include "platform/odbc/odbc_connection.h"
#include "platform/sql_trace.h"
#include "platform/sqlite/sqlite_connection.h"

namespace quillor {
namespace {

struct DeclaredType {
  std::string_view name;
  int code;
};

constexpr DeclaredType kDeclaredTypes[] = {
    {"varchar", ado_type::kVarChar},
    {"nvarchar", ado_type::kVarWChar},
    {"char", ado_type::kChar},
    {"nchar", ado_type::kWChar},
    {"text", ado_type::kLongVarChar},
    {"ntext", ado_type::kLongVarWChar},
    {"int", ado_type::kInteger},
    {"integer", ado_type::kInteger},
    {"smallint", ado_type::kSmallInt},
    {"bigint", ado_type::kBigInt},
    {"bit", ado_type::kBoolean},
    {"float", ado_type::kDouble},
    {"real", ado_type::kSingle},
    {"decimal", ado_type::kNumeric},
    {"numeric", ado_type::kNumeric},
    {"money", ado_type::kCurrency},
    {"datetime", ado_type::kDBTimeStamp},
    {"date", ado_type::kDBDate},
    {"time", ado_type::kDBTime},
    {"image", ado_type::kLongVarBinary},
};

std::string Lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
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
  const std::string lowered = Lowered(Trim(declared));
  std::string_view base = lowered;
  std::string_view parameters;
  if (const size_t paren = base.find('('); paren != std::string_view::npos) {
    parameters = Trim(base.substr(paren));
    base = Trim(base.substr(0, paren));
  }
  if (base == "varbinary" && parameters == "(max)") return ado_type::kLongVarBinary;
  for (const auto& t : kDeclaredTypes) {
    if (base == t.name) return t.code;
  }
  return ado_type::kVarChar;
}

std::unique_ptr<Connection> OpenUntracedConnection(std::string_view connection_text) {
  if (Trim(connection_text).empty()) {
    throw Failure(failure_numbers::kFail, "[Quillor] the connection text is empty");
  }
  if (EqualsIgnoringCase(Trim(ProviderOf(connection_text)), "SQLite")) {
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
