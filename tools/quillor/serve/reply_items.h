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

// The item results by code, as the X-Quillor-Items header gives them:
// "0=4, 101=1" (codes in text order); empty for none.
std::string ItemsHeader(const ItemCounts& items);

// The rows of a QUERY page or reply: the root's children named `row` (the
// request's roottag). A text that does not parse holds none.
long CountRows(std::string_view document, std::string_view row);

// Whether a reply may be the component's answer to a connection it could not
// open: a reply root with a failure's code (not one of the component's own
// codes for a faulty request) and no item result, so nothing was written. The
// server then asks the database itself before it answers 503.
bool MayBeUnopenedConnection(const ReplySummary& summary);

}  // namespace quillor::serve
