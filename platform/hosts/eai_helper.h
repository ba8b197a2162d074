// Our stand-in for the integration framework's per-thread helper: it reads values
// out of request elements and builds every reply except the QUERY result.
//
//   error reply:     <?xml version="1.0" encoding="UTF-8"?>\n<reply code="CODE" message="TEXT"/>
//   reply template:  <reply docid="DOCID" proc="PROC"/>
//   item result:     <item id="ID" code="N" message="TEXT"/>, appended as the root's last child
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml/xml.h"

namespace quillor {

class EaiHelper {
 public:
  // The thread's one instance, created at its first use and kept for the thread's life.
  static EaiHelper& ForThisThread();

  // The texts a caller always passes empty and never reads back.
  struct Extras {
    std::string a, b, c, d;
  };

  std::string MakeErrorReply(std::string_view code, std::string_view message, std::string& extra);
  // The attribute's text, or empty text.
  std::string ReadAttribute(XmlElement element, std::string_view name);
  // The text of the element's first child element of that name; else the
  // attribute of that name; else empty text.
  std::string ReadField(XmlElement element, std::string_view name);
  // Appends one item result behind those appended earlier. A document without a
  // root element is a failure.
  bool AppendItemResult(XmlDocument& doc, std::string_view id, int32_t code,
                        std::string_view message, int32_t reserved, Extras& extras);
  std::string GetReplyTemplate(std::string_view docid, std::string& proc);
};

}  // namespace quillor
