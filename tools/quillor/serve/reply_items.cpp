#include "tools/quillor/serve/reply_items.h"

#include "platform/xml/xml.h"
#include "tools/quillor/reply_gloss.h"

namespace quillor::serve {

ReplySummary SummarizeReply(std::string_view reply, bool items) {
  ReplySummary summary;
  // Read without building the reply into a tree: the root's start tag for the
  // code, then the item elements one at a time. A long ADD reply costs the
  // memory of one item.
  XmlDocument doc;
  if (!doc.LoadRootStart(reply) || !doc.Root()) return summary;
  const XmlElement root = doc.Root();
  if (root.Name() == "reply") summary.code = root.Attribute("code").value_or("");
  if (!items) return summary;
  try {
    XmlDocument::ForEachRootChild(reply, "item", [&](XmlElement item) {
      const auto code = item.Attribute("code");
      if (!code) return;
      ++summary.items[*code];
      // An operator who reads no Chinese can still tell a refusal's reason.
      if (*code != "0") {
        summary.refused[*code].push_back(GlossMessage(item.Attribute("message").value_or("")));
      }
    });
  } catch (const std::exception&) {
    // a reply that does not parse to its end counts no items
    summary.items.clear();
    summary.refused.clear();
  }
  return summary;
}

std::string ItemsHeader(const ItemCounts& items) {
  std::string header;
  for (const auto& [code, count] : items) {
    if (!header.empty()) header += ", ";
    header += code + "=" + std::to_string(count);
  }
  return header;
}

long CountRows(std::string_view document, std::string_view row) {
  if (row.empty()) return 0;
  long rows = 0;
  try {
    XmlDocument::ForEachRootChild(document, row, [&](XmlElement) { ++rows; });
  } catch (const std::exception&) {
    return 0;
  }
  return rows;
}

bool MayBeUnopenedConnection(const ReplySummary& summary) {
  if (summary.code.empty() || !summary.items.empty()) return false;
  // The request's own faults: not well-formed (or over the bound), no root, an
  // unknown operation. The component finds them only after its connection
  // opened, since it opens the connection first.
  for (const char* fault : {"100", "101", "710"}) {
    if (summary.code == fault) return false;
  }
  return true;
}

}  // namespace quillor::serve
