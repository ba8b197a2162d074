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

}  // namespace quillor::serve
