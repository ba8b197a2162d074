#include "tools/quillor/serve/reply_items.h"

#include "platform/xml/xml.h"
#include "tools/quillor/reply_gloss.h"

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
    const auto code = child.Attribute("code");
    if (!code) continue;
    ++summary.items[*code];
    // An operator who reads no Chinese can still tell a refusal's reason.
    if (*code != "0") {
      summary.refused[*code].push_back(GlossMessage(child.Attribute("message").value_or("")));
    }
  }
  return summary;
}

}  // namespace quillor::serve
