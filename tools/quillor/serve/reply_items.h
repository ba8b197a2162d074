// What the server reads of a reply for its log and metrics: the reply's own
// code and, for an ADD, the item results counted by their code.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace quillor::serve {

// code text -> number of item results with it.
using ItemCounts = std::map<std::string, long>;

struct ReplySummary {
  std::string code;  // the code of a <reply code="..."> root; empty for a normal reply
  ItemCounts items;
};

// With `items`, the item results are counted too; a text that does not parse
// gives an empty summary.
ReplySummary SummarizeReply(std::string_view reply, bool items);

}  // namespace quillor::serve
