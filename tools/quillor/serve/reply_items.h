// What the server reads of a reply for its log and metrics: the reply's own
// code and, for an ADD, the item results counted by their code.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillor::serve {

// code text -> number of item results with it.
using ItemCounts = std::map<std::string, long>;
// code text -> the English reasons of the item results with it, in reply order.
using ItemReasons = std::map<std::string, std::vector<std::string>>;

struct ReplySummary {
  std::string code;  // the code of a <reply code="..."> root; empty for a normal reply
  ItemCounts items;
  ItemReasons refused;  // every item result but success, its message in English
};

// With `items`, the item results are counted too; a text that does not parse
// gives an empty summary.
ReplySummary SummarizeReply(std::string_view reply, bool items);

}  // namespace quillor::serve
