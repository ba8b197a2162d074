// What `quillor transact` tells the operator on standard error beside the reply,
// which stays exactly the component's on standard output.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillor {

// The reasons of writes refused before any statement, by item id, from the SQL
// trace's lines (those that begin {"refused": ...}).
std::map<std::string, std::vector<std::string>> RefusedWrites(std::string_view trace_lines);

// The English notes of --explain: one line per item result (or for the reply),
// each refused write's reason beneath its item.
std::vector<std::string> ExplainReply(
    std::string_view reply, const std::map<std::string, std::vector<std::string>>& refused);

// Notes after the call: no connection text at all, one the driver manager did
// not know, a request over the bound.
void NoteAfterReply(const std::string& connection, std::string_view reply, uint64_t request_bytes,
                    std::ostream& err);

// The line said when the request comes from a terminal, before reading it.
inline constexpr std::string_view kReadingStandardInput =
    "quillor: reading the request from standard input (end it with Ctrl-D, or name a file)";

}  // namespace quillor
