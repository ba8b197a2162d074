#include "tools/quillor/command_connection.h"

#include <cstdlib>

#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/db/connection_text.h"

namespace quillor {

std::string ChooseConnection(const std::optional<std::string>& given) {
  if (given) return *given;
  if (const char* env = std::getenv("QUILLOR_CONNECTION")) return env;
  return {};
}

std::optional<std::string> SqliteDataSource(std::string_view text) {
  // Read as the component reads it, so that init-db creates the very file the
  // component then opens (a quoted Data Source may hold a semicolon).
  try {
    const ConnectionText parsed = ConnectionText::Parse(text);
    const auto provider = parsed.Get("Provider");
    if (!provider || !EqualsIgnoreCase(*provider, "SQLite")) return std::nullopt;
    auto source = parsed.Get("Data Source");
    if (!source || source->empty()) return std::nullopt;
    return source;
  } catch (const Failure&) {  // not a text of ours: the component hands it to ODBC
    return std::nullopt;
  }
}

}  // namespace quillor
