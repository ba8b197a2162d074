// A connection decorator that appends one JSON line per statement to a file, for
// following what the component sends to the database.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/base/json_string.h"
#include "platform/db/database.h"

namespace quillor {

// Wraps a connection so that every Open and Execute appends a line to the file:
//   {"sql": TEXT, "rows": N, "ms": X}
//   {"sql": TEXT, "sent": TEXT, "rows": N, "ms": X}    (when the engine got other text)
//   {"sql": TEXT, "error": {"number": N, "description": TEXT}}
//   {"refused": REASON, "item": ID, "field": NAME, "value": TEXT}
//                                             (a write refused before any statement)
// Begin, Commit and Rollback are not traced.
std::unique_ptr<Connection> TraceConnection(std::unique_ptr<Connection> inner, std::string path);

// A duration in milliseconds with at most three decimals ("0.125", "2", "1.5").
std::string MillisecondsText(double ms);

}  // namespace quillor
