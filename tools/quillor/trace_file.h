// The SQL trace file of the command and the server, written from the lines the
// library's trace receiver hands over.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quillor {

// Appends each line with its line end in one write() on a descriptor opened for
// appending, so that the lines of several processes sharing the file never
// interleave. A file that cannot be written loses the line: the trace never
// stands in the way of the statement.
std::function<void(std::string_view line)> TraceFileAppender(std::string path);

}  // namespace quillor
