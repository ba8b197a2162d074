// The item results of an ADD reply, counted by their code.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace quillor::serve {

// code text -> number of item results with it; empty for a reply without items
// or a text that does not parse.
using ItemCounts = std::map<std::string, long>;

ItemCounts CountItemResults(std::string_view reply);

}  // namespace quillor::serve
