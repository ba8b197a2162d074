// The operation of a request as a metric label.
#pragma once

#include <string>
#include <string_view>

namespace quillor::serve {

// "ADD", "QUERY", "OTHER" (another or no proc), so that clients cannot make up
// label values.
std::string ProcLabel(std::string_view proc);

}  // namespace quillor::serve
