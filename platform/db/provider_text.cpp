#include "platform/db/provider_text.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "platform/base/failure.h"
#include "platform/base/text.h"

namespace quillor {
namespace {

constexpr std::string_view kSqlServerProviders[] = {"SQLOLEDB",  "SQLNCLI",    "SQLNCLI10",
                                                    "SQLNCLI11", "MSOLEDBSQL", "MSOLEDBSQL19"};

constexpr const char* kAcceptedForms =
    "Provider=SQLOLEDB, SQLNCLI, SQLNCLI10, SQLNCLI11, MSOLEDBSQL or MSOLEDBSQL19 (SQL Server), "
    "Provider=MSDASQL or no Provider (an ODBC text), or Provider=SQLite";

// Keys the OLE DB providers take that change nothing here: read and left out.
constexpr std::string_view kIgnoredKeys[] = {"Persist Security Info",
                                             "Auto Translate",
                                             "Packet Size",
                                             "Use Procedure for Prepare",
                                             "Use Encryption for Data",
                                             "Locale Identifier",
                                             "OLE DB Services",
                                             "Tag with column collation when possible",
                                             "DataTypeCompatibility",
                                             "MARS Connection"};

// The component's own keys that may still be in a text opened directly (the pool
// and the request bound take theirs out first).
constexpr std::string_view kOwnKeys[] = {"Pooling", "Pool Idle Timeout", "Max Request Size"};
// The backend's own keys, handed on for it to read and take out: the rows of a
// block, and the bound of a lock wait (which only a PostgreSQL session uses).
constexpr std::string_view kBackendKeys[] = {"BlockRows", "Lock Timeout"};

[[noreturn]] void RefuseProviderText(const std::string& why) {
  throw Failure(failure_numbers::kFail, "[Quillor] invalid connection text: " + why);
}

template <size_t N>
bool IsOneOf(std::string_view key, const std::string_view (&names)[N]) {
  for (std::string_view name : names) {
    if (EqualsIgnoreCase(key, name)) return true;
  }
  return false;
}

bool IsKey(std::string_view key, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (EqualsIgnoreCase(key, name)) return true;
  }
  return false;
}

// The provider's name without its version suffix: "SQLOLEDB.1" is SQLOLEDB.
std::string_view WithoutVersion(std::string_view provider) {
  const size_t dot = provider.rfind('.');
  if (dot != std::string_view::npos && dot + 1 < provider.size() &&
      AllDigits(provider.substr(dot + 1))) {
    return provider.substr(0, dot);
  }
  return provider;
}

// An ODBC value in braces, so that it may hold ';' and blanks at its ends: the
// standard form doubles a closing brace inside. FreeTDS reads a braced value up to
// the first "};" and takes "}}" as it stands: its value goes in unchanged, and is
// always followed by ';' (a braced value at the very end keeps its brace there).
std::string Braced(std::string_view value, bool freetds = false) {
  if (freetds) {
    if (value.find("};") != std::string_view::npos) {
      RefuseProviderText("a value holds \"};\", which the FreeTDS driver cannot be given");
    }
    return "{" + std::string(value) + "}";
  }
  std::string out = "{";
  for (const char c : value) out += c == '}' ? std::string("}}") : std::string(1, c);
  return out + "}";
}

std::optional<bool> Switch(std::string_view value, std::initializer_list<std::string_view> on,
                           std::initializer_list<std::string_view> off) {
  if (IsKey(value, on)) return true;
  if (IsKey(value, off)) return false;
  return std::nullopt;
}

// ---- MSDASQL: the text is the driver manager's ---------------------------------

void AppendPair(std::string& text, std::string_view key, std::string_view value,
                bool freetds = false) {
  if (!text.empty() && !text.ends_with(';')) text += ';';
  text += std::string(key) + "=" + Braced(value, freetds);
}

// ---- SQL Server ---------------------------------------------------------------

enum class Encryption { kOff, kOn, kStrict };

struct SqlServerKeys {
  std::string server;  // as given; empty: this machine
  std::string database, user, password, app, workstation, driver;
  std::vector<std::pair<std::string, std::string>> backend;  // kBackendKeys, as given
  bool integrated = false;
  std::optional<unsigned> timeout;
  std::optional<Encryption> encrypt;
  std::optional<bool> trust_certificate;
};

unsigned Seconds(const std::string& value, std::string_view key) {
  unsigned seconds = 0;
  const char* end = value.data() + value.size();
  const auto [at, error] = std::from_chars(value.data(), end, seconds);
  if (value.empty() || error != std::errc() || at != end || seconds > 65535) {
    RefuseProviderText(std::string(key) + " must be a whole number of seconds");
  }
  return seconds;
}

// One pair, read over what earlier pairs set: a key given twice, or under two of
// its names, takes the last value, as the host's providers read it. An empty
// value is as if the key were not given.
void ReadPair(SqlServerKeys& keys, const std::string& key, const std::string& given) {
  const std::string value(Trim(given, IsSpace));
  if (IsKey(key, {"Provider"}) || IsOneOf(key, kIgnoredKeys) || IsOneOf(key, kOwnKeys)) return;
  if (IsKey(key, {"Extended Properties"})) {
    const ConnectionText inner = ConnectionText::ParseOleDb(value);
    for (const auto& [k, v] : inner.pairs()) ReadPair(keys, k, v);
  } else if (IsKey(key, {"Data Source", "Server", "Address", "Addr", "Network Address"})) {
    keys.server = value;
  } else if (IsKey(key, {"Initial Catalog", "Database"})) {
    keys.database = value;
  } else if (IsKey(key, {"User ID", "UID"})) {
    keys.user = value;
  } else if (IsKey(key, {"Password", "PWD"})) {
    keys.password = given;  // a password keeps its blanks
  } else if (IsKey(key, {"Integrated Security"})) {
    const std::optional<bool> on = value.empty()
                                       ? std::optional<bool>(false)
                                       : Switch(value, {"SSPI", "true", "yes"}, {"false", "no"});
    if (!on) RefuseProviderText("Integrated Security must be SSPI, true or false");
    keys.integrated = *on;
  } else if (IsKey(key, {"Trusted_Connection"})) {
    const std::optional<bool> on = value.empty() ? std::optional<bool>(false)
                                                 : Switch(value, {"yes", "true"}, {"no", "false"});
    if (!on) RefuseProviderText("Trusted_Connection must be yes or no");
    keys.integrated = *on;
  } else if (IsKey(key, {"Connect Timeout", "Connection Timeout"})) {
    keys.timeout = value.empty() ? std::nullopt : std::optional<unsigned>(Seconds(value, key));
  } else if (IsKey(key, {"Application Name"})) {
    keys.app = value;
  } else if (IsKey(key, {"Workstation ID"})) {
    keys.workstation = value;
  } else if (IsKey(key, {"Encrypt"})) {
    if (value.empty()) {
      keys.encrypt.reset();
    } else if (IsKey(value, {"yes", "true", "mandatory"})) {
      keys.encrypt = Encryption::kOn;
    } else if (IsKey(value, {"no", "false", "optional"})) {
      keys.encrypt = Encryption::kOff;
    } else if (IsKey(value, {"strict"})) {
      keys.encrypt = Encryption::kStrict;
    } else {
      RefuseProviderText("Encrypt must be yes, no or strict");
    }
  } else if (IsKey(key, {"TrustServerCertificate", "Trust Server Certificate"})) {
    keys.trust_certificate =
        value.empty() ? std::nullopt : Switch(value, {"yes", "true"}, {"no", "false"});
    if (!value.empty() && !keys.trust_certificate) {
      RefuseProviderText("TrustServerCertificate must be yes or no");
    }
  } else if (IsKey(key, {"Network Library", "Network"})) {
    if (!value.empty() && !EqualsIgnoreCase(value, "dbmssocn")) {
      RefuseProviderText("Network Library=" + value +
                         " is not supported: SQL Server is reached over TCP/IP only (dbmssocn)");
    }
  } else if (IsKey(key, {"ODBC Driver"})) {
    keys.driver = value;
  } else if (IsOneOf(key, kBackendKeys)) {
    keys.backend.emplace_back(key, given);
  } else {
    RefuseProviderText("the key " + key + " is not one this component reads in a SQL Server text");
  }
}

// Host, instance and port of a Data Source: host, host,port, host\instance (and
// both), a tcp: prefix, "(local)" and "." for this machine.
struct ServerAddress {
  std::string host;  // empty: this machine
  std::string instance;
  std::string port;
  bool tcp_prefix = false;
};

ServerAddress ReadServer(std::string_view given) {
  ServerAddress a;
  std::string_view rest = given;
  if (StartsWithIgnoreCase(rest, "tcp:")) {
    a.tcp_prefix = true;
    rest.remove_prefix(4);
  } else {
    for (std::string_view other : {"np:", "lpc:", "admin:", "via:"}) {
      if (StartsWithIgnoreCase(rest, other)) {
        RefuseProviderText("Data Source names the protocol " +
                           std::string(rest.substr(0, other.size() - 1)) +
                           ": SQL Server is reached over TCP/IP only (tcp:)");
      }
    }
  }
  const size_t comma = rest.rfind(',');
  if (comma != std::string_view::npos) {
    a.port = std::string(Trim(rest.substr(comma + 1), IsSpace));
    unsigned port = 0;
    const auto [at, error] = std::from_chars(a.port.data(), a.port.data() + a.port.size(), port);
    if (a.port.empty() || error != std::errc() || at != a.port.data() + a.port.size() ||
        port == 0 || port > 65535) {
      RefuseProviderText("the port in Data Source must be a number from 1 to 65535");
    }
    rest = rest.substr(0, comma);
  }
  const size_t backslash = rest.find('\\');
  if (backslash != std::string_view::npos) {
    a.instance = std::string(Trim(rest.substr(backslash + 1), IsSpace));
    rest = rest.substr(0, backslash);
  }
  a.host = std::string(Trim(rest, IsSpace));
  if (a.host == "(local)" || a.host == ".") a.host.clear();
  return a;
}

bool IsFreeTds(std::string_view driver) {
  const std::string lower = AsciiLower(driver);
  return lower.find("freetds") != std::string::npos || lower.find("tdsodbc") != std::string::npos;
}

std::string ChooseDriver(const SqlServerKeys& keys, const DriverChoice& drivers) {
  if (!keys.driver.empty()) return keys.driver;
  // The newest first; FreeTDS last, on Linux and where a Windows build runs under
  // Wine on the host's driver manager.
  static const std::vector<std::string_view> kLinux = {
      "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server",
      "ODBC Driver 13.1 for SQL Server", "ODBC Driver 13 for SQL Server", "FreeTDS"};
  static const std::vector<std::string_view> kWindows = {"ODBC Driver 18 for SQL Server",
                                                         "ODBC Driver 17 for SQL Server",
                                                         "ODBC Driver 13.1 for SQL Server",
                                                         "ODBC Driver 13 for SQL Server",
                                                         "SQL Server Native Client 11.0",
                                                         "SQL Server",
                                                         "FreeTDS"};
  for (std::string_view wanted : drivers.windows ? kWindows : kLinux) {
    for (const std::string& installed : drivers.installed) {
      if (EqualsIgnoreCase(installed, wanted)) return installed;
    }
  }
  throw Failure(failure_numbers::kFail,
                std::string("[Quillor] no ODBC driver for SQL Server is installed (looked for ") +
                    (drivers.windows ? "ODBC Driver 18, 17 or 13 for SQL Server, SQL Server "
                                       "Native Client 11.0, SQL Server"
                                     : "ODBC Driver 18, 17 or 13 for SQL Server") +
                    " and FreeTDS): install one, or name one with ODBC Driver=NAME");
}

// Microsoft's drivers take the server in the providers' own form.
void MicrosoftKeys(std::string& text, const SqlServerKeys& keys, const ServerAddress& address,
                   Encryption encryption) {
  std::string server = address.tcp_prefix ? "tcp:" : "";
  server += address.host.empty() ? "(local)" : address.host;
  if (!address.instance.empty()) server += "\\" + address.instance;
  if (!address.port.empty()) server += "," + address.port;
  AppendPair(text, "Server", server);
  if (encryption == Encryption::kStrict) {
    text += ";Encrypt=strict";
  } else {
    text += encryption == Encryption::kOn ? ";Encrypt=yes" : ";Encrypt=no";
  }
  if (keys.trust_certificate) {
    text += *keys.trust_certificate ? ";TrustServerCertificate=yes" : ";TrustServerCertificate=no";
  }
}

// FreeTDS takes the port apart, knows no "(local)", and asks for encryption
// with its own key; whenever the server offers encryption it uses it.
void FreeTdsKeys(std::string& text, const ServerAddress& address, Encryption encryption) {
  std::string server = address.host.empty() ? "localhost" : address.host;
  if (!address.instance.empty()) server += "\\" + address.instance;
  AppendPair(text, "Server", server, true);
  if (!address.port.empty()) text += ";Port=" + address.port;
  if (encryption != Encryption::kOff) text += ";Encryption=require";
}

// The Provider key. A text that does not read as pairs may still name a provider
// in a part of its own, read here loosely; a SQL Server provider's text is then
// read again strictly, and refused with the reason.
std::optional<std::string> ProviderKey(const ConnectionText& text) {
  if (!text.pairs().empty()) return text.Get("Provider");
  std::optional<std::string> found;
  std::string_view rest = text.text();
  while (!rest.empty()) {
    const std::string_view part = rest.substr(0, rest.find(';'));
    const size_t equals = part.find('=');
    if (equals != std::string_view::npos &&
        EqualsIgnoreCase(Trim(part.substr(0, equals)), "Provider")) {
      found = std::string(Trim(part.substr(equals + 1)));
    }
    if (part.size() == rest.size()) break;
    rest.remove_prefix(part.size() + 1);
  }
  return found;
}

}  // namespace

ProviderKind ProviderOf(const ConnectionText& text) {
  const std::optional<std::string> given = ProviderKey(text);
  if (!given) return ProviderKind::kOdbc;
  const std::string_view provider = Trim(*given, IsSpace);
  if (EqualsIgnoreCase(provider, "SQLite")) return ProviderKind::kSqlite;
  const std::string_view name = WithoutVersion(provider);
  if (EqualsIgnoreCase(name, "MSDASQL")) return ProviderKind::kOdbc;
  for (std::string_view sql_server : kSqlServerProviders) {
    if (EqualsIgnoreCase(name, sql_server)) return ProviderKind::kSqlServer;
  }
  throw Failure(kProviderNotFound,
                "[Quillor] the connection text names the provider " + std::string(provider) +
                    ", which this component does not open; it takes " + kAcceptedForms);
}

OdbcOpening OdbcOpeningOf(const ConnectionText& text) {
  if (!text.Get("Provider") && !text.Get("Extended Properties")) return {text.text()};
  std::string odbc;
  for (const auto& [key, value] : text.pairs()) {
    if (IsKey(key, {"Provider"}) || IsOneOf(key, kIgnoredKeys)) continue;
    if (IsKey(key, {"Extended Properties"})) {
      if (!odbc.empty() && !odbc.ends_with(';')) odbc += ';';
      odbc += value;
    } else if (IsKey(key, {"Data Source"})) {
      AppendPair(odbc, "DSN", value);
    } else if (IsKey(key, {"User ID"})) {
      AppendPair(odbc, "UID", value);
    } else if (IsKey(key, {"Password"})) {
      AppendPair(odbc, "PWD", value);
    } else if (IsKey(key, {"Initial Catalog"})) {
      AppendPair(odbc, "DATABASE", value);
    } else {
      AppendPair(odbc, key, value);
    }
  }
  return {odbc};
}

OdbcOpening SqlServerOpeningOf(const ConnectionText& given, const DriverChoice& drivers) {
  // Read again with the providers' syntax, in which a brace is no quote.
  const ConnectionText text = ConnectionText::ParseOleDb(given.text());
  const std::string provider =
      AsciiUpper(WithoutVersion(Trim(text.Get("Provider").value_or(""), IsSpace)));
  SqlServerKeys keys;
  for (const auto& [key, value] : text.pairs()) ReadPair(keys, key, value);
  const ServerAddress address = ReadServer(keys.server);
  // The newest provider encrypts unless told not to; the older ones only when asked.
  const Encryption encryption =
      keys.encrypt.value_or(provider == "MSOLEDBSQL19" ? Encryption::kOn : Encryption::kOff);

  const std::string driver = ChooseDriver(keys, drivers);
  const bool freetds = IsFreeTds(driver);
  OdbcOpening opening;
  std::string& out = opening.text;
  AppendPair(out, "Driver", driver);
  if (freetds) {
    FreeTdsKeys(out, address, encryption);
  } else {
    MicrosoftKeys(out, keys, address, encryption);
  }
  if (!keys.database.empty()) AppendPair(out, "Database", keys.database, freetds);
  if (keys.integrated) {
    out += ";Trusted_Connection=yes";
  } else {
    if (!keys.user.empty()) AppendPair(out, "UID", keys.user, freetds);
    if (!keys.password.empty()) AppendPair(out, "PWD", keys.password, freetds);
  }
  if (!keys.app.empty()) AppendPair(out, "APP", keys.app, freetds);
  if (!keys.workstation.empty()) AppendPair(out, "WSID", keys.workstation, freetds);
  for (const auto& [key, value] : keys.backend) AppendPair(out, key, value);
  out += ';';
  if (keys.timeout) opening.login_timeout_seconds = *keys.timeout;
  return opening;
}

}  // namespace quillor
