#include "tools/quillor/serve/reply_items.h"

#include "platform/xml/xml.h"

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
      if (const auto code = item.Attribute("code")) ++summary.items[*code];
    });
  } catch (const std::exception&) {
    summary.items.clear();  // a reply that does not parse to its end counts no items
  }
  return summary;
}

}  // namespace quillor::serve
