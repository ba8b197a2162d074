// A connection decorator that appends one JSON line per statement to a file, for
// following what the component sends to the database.
#pragma once

#include <cstdint>
#include <functional>
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
// Begin, Commit, Rollback and the line lock (TakeLineTurn) write no line when they
// succeed; when one fails, it writes the error line, with the step's name as its
// "sql": "begin", "commit", "rollback" or "line lock".
std::unique_ptr<Connection> TraceConnection(std::unique_ptr<Connection> inner, std::string path);

// Takes one trace line, as above, without its line end. What it throws is dropped:
// the trace never stands in the way of the statement.
using TraceSink = std::function<void(std::string_view line)>;

// The same lines handed to `sink` instead of a file (a host's own receiver).
std::unique_ptr<Connection> TraceConnectionTo(std::unique_ptr<Connection> inner, TraceSink sink);

// The sink that appends each line to the file, one write() per line.
TraceSink FileTraceSink(std::string path);

// A duration in milliseconds with at most three decimals ("0.125", "2", "1.5").
std::string MillisecondsText(double ms);

}  // namespace quillor
