// Reading the connection text the command passes to the component.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor {

// The text given on the command line, even when empty; else $QUILLOR_CONNECTION;
// else empty text.
std::string ChooseConnection(const std::optional<std::string>& given);

// The file of a "Provider=SQLite;Data Source=PATH" text (keys in any case, the
// path quoted when it holds a ';'), read as OpenConnection reads it; none for any
// other text.
std::optional<std::string> SqliteDataSource(std::string_view connection_text);

}  // namespace quillor
