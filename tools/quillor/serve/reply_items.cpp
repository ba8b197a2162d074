#include "tools/quillor/serve/reply_items.h"

#include "platform/xml/xml.h"

namespace quillor::serve {

ItemCounts CountItemResults(std::string_view reply) {
  ItemCounts counts;
  XmlDocument doc;
  if (!doc.LoadXml(reply) || !doc.Root()) return counts;
  for (const XmlElement& child : doc.Root().ChildElements()) {
    if (child.Name() != "item") continue;
    if (const auto code = child.Attribute("code")) ++counts[*code];
  }
  return counts;
}

}  // namespace quillor::serve
