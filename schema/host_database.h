// A host database made ready for calls, as `quillor init-db` and a host of the
// C interface ask for it: what was done, in lines an operator reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillor {

// The file of a "Provider=SQLite;Data Source=PATH" text (keys in any case, the
// path quoted when it holds a ';'), read as OpenConnection reads it; none for any
// other text.
std::optional<std::string> SqliteDataSource(std::string_view connection_text);

// For a Provider=SQLite text, the file when it is not there yet; the host tables
// when they are not all there; with `sample`, the sample rows that are missing.
// Adds to `report` a line per step as it is done ("database file PATH", "host
// tables created" or "host tables already present", then a line per sample
// table, indented by two spaces). A database that cannot be opened or written is
// a quillor::Failure, after the lines of the steps that were done.
void PrepareHostDatabase(const std::string& connection, bool sample,
                         std::vector<std::string>& report);

}  // namespace quillor
