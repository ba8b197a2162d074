// What `quillor transact` tells the operator on standard error beside the reply,
// which stays exactly the component's on standard output.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/quillor/component_session.h"

namespace quillor {

// One line's outcome as the library's item receiver gives it (quillor_item_t):
// no id for the outcome of a call that answered no line.
struct ItemNote {
  std::optional<std::string> id;
  int32_t code = 0;
  std::string message;
  std::string reason;  // a write refused before any statement: why
  std::string state;   // the driver's SQLSTATE, for a call that answered no line
};

// The English notes of --explain, in the library's words: one line per item
// result (or for the reply), each refused write's reason beneath its item. With
// no outcome, what the call's facts say: a QUERY's rows, or an ADD without lines.
std::vector<std::string> ExplainItems(const SessionFacts& facts, const std::vector<ItemNote>& items,
                                      const LibraryQueries& library);

// The driver's SQLSTATE among the outcomes, or empty.
std::string DriverState(const std::vector<ItemNote>& items);

// Notes after the call: no connection text at all, one no provider opens, one
// the driver manager did not know (driver_state IM002), a request over the bound
// (the library's note on it).
void NoteAfterReply(const std::string& connection, std::string_view driver_state,
                    uint64_t request_bytes, const LibraryQueries& library, std::ostream& err);

// The line said when the request comes from a terminal, before reading it.
inline constexpr std::string_view kReadingStandardInput =
    "quillor: reading the request from standard input (end it with Ctrl-D, or name a file)";

}  // namespace quillor
