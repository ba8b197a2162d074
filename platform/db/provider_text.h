// The connection texts a host's login object hands over, in the forms its own
// database layer opens: an OLE DB text naming a SQL Server provider, an ODBC text
// with Provider=MSDASQL or no provider at all, and the embedded SQLite text. Read
// here once, for the Linux and the Windows backends alike, into what the ODBC
// driver manager opens.
#pragma once

#include <string>
#include <vector>

#include "platform/db/connection_text.h"

namespace quillor {

// Where a connection text goes, by its Provider key.
enum class ProviderKind {
  kSqlite,     // Provider=SQLite
  kOdbc,       // no Provider, or MSDASQL: the text is the driver manager's
  kSqlServer,  // SQLOLEDB, SQLNCLI, SQLNCLI10, SQLNCLI11, MSOLEDBSQL, MSOLEDBSQL19
};

// The number of a refused provider: the database layer's "provider cannot be
// found", as the host's own layer reports it.
inline constexpr int32_t kProviderNotFound = 3706;

// Letter case does not matter, nor a version suffix (".1"). Any other provider is
// a Failure numbered kProviderNotFound that names it and the accepted forms.
ProviderKind ProviderOf(const ConnectionText& text);

// What the ODBC driver manager is asked to open.
struct OdbcOpening {
  std::string text;  // for SQLDriverConnect; it holds the password, so it is never written out
  unsigned login_timeout_seconds = 15;  // 0: as long as the driver waits
};

// An ODBC text (kOdbc). A text that names neither MSDASQL nor Extended Properties
// goes as it is, byte for byte. Otherwise the provider's own reading: the
// Provider pair and the keys that provider ignores are left out, Extended
// Properties="..." is unwrapped in its place, and Data Source, User ID, Password
// and Initial Catalog become DSN, UID, PWD and DATABASE.
OdbcOpening OdbcOpeningOf(const ConnectionText& text);

// What the host has for a SQL Server text: the drivers the driver manager lists,
// and which platform's preference among them holds.
struct DriverChoice {
  bool windows = false;
  std::vector<std::string> installed;
};

// A SQL Server text (kSqlServer), read with the OLE DB providers' syntax and key
// meanings, into the chosen driver's own keys. Refusals never quote a value but
// the provider's, the network library's and the driver's names.
OdbcOpening SqlServerOpeningOf(const ConnectionText& text, const DriverChoice& drivers);

}  // namespace quillor
