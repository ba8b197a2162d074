#include "tools/quillor/serve/reply_items.h"

#include "platform/xml/xml.h"

namespace quillor::serve {

ReplySummary SummarizeReply(std::string_view reply, bool items) {
  ReplySummary summary;
  XmlDocument doc;
  // Without the items only the root is needed: a long QUERY reply is not built
  // into a tree for its code.
  if (!(items ? doc.LoadXml(reply) : doc.LoadRootOnly(reply)) || !doc.Root()) return summary;
  const XmlElement root = doc.Root();
  if (root.Name() == "reply") summary.code = root.Attribute("code").value_or("");
  if (!items) return summary;
  for (const XmlElement& child : root.ChildElements()) {
    if (child.Name() != "item") continue;
    if (const auto code = child.Attribute("code")) ++summary.items[*code];
  }
  return summary;
}

}  // namespace quillor::serve
