// The record mapping files, each read once per process and kept by its path.
// A kept mapping is used for as long as the file's size and modification time
// stay what they were when it was read; when either changes, the file is read
// again, so that an edited mapping is seen by the next QUERY without a restart.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillor {

// Lower-case column name to field name.
using MappingColumns = std::unordered_map<std::string, std::string>;

// The failure of a mapping that cannot be used, naming it and saying why.
[[noreturn]] void FailMapping(std::string_view mapping, std::string_view why);

// The mapping the file holds, read now or kept from an earlier read of the same
// file as it still is. `mapping` is the name failures give. A file that is
// missing, unreadable or not a mapping is a failure, and nothing is kept of it.
// Safe to call from any thread.
std::shared_ptr<const MappingColumns> ReadMappingFile(const std::filesystem::path& file,
                                                      std::string_view mapping);

}  // namespace quillor
