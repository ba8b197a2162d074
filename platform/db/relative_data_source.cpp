#include "platform/db/relative_data_source.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "platform/base/text.h"

namespace quillor {

ConnectionText WithDataSourceResolved(const ConnectionText& connection_text) {
  if (!EqualsIgnoreCase(Trim(connection_text.Get("Provider").value_or(""), IsSpace), "SQLite")) {
    return connection_text;
  }
  const std::optional<std::string> source = connection_text.Get("Data Source");
  if (!source || source->empty() || *source == ":memory:" ||
      std::filesystem::path(*source).is_absolute()) {
    return connection_text;
  }
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::current_path(ec);
  if (ec) return connection_text;  // the folder is gone: the open fails as it would
  std::string quoted;
  for (const char c : (here / *source).string()) quoted += c == '"' ? "\"\"" : std::string(1, c);
  std::string text = connection_text.Without({"Data Source"}).text();
  if (!Trim(text, IsSpace).empty() && !Trim(text, IsSpace).ends_with(';')) text += ';';
  return ConnectionText::Lenient(text + "Data Source=\"" + quoted + "\"");
}

}  // namespace quillor
