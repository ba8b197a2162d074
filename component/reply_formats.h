// The texts of every reply but the QUERY result, as the integration framework's
// helper built them for the original component:
//
//   error reply:     <?xml version="1.0" encoding="UTF-8"?>\n<reply code="CODE" message="TEXT"/>
//   reply template:  <reply docid="DOCID" proc="PROC"/>, built as a tree
//   item result:     <item id="ID" code="N" message="TEXT"/>, appended as the root's last child
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/xml/xml.h"

namespace quillor {

std::string ErrorReplyText(std::string_view code, std::string_view message);

// The document an ADD's item results are appended to: its root is the template,
// its values kept exactly as given (the serialiser escapes them).
XmlDocument ReplyTemplate(std::string_view docid, std::string_view proc);

// Appends one item result behind those appended earlier. A document without a
// root element is a failure.
void AppendItemResult(XmlDocument& doc, std::string_view id, int32_t code,
                      std::string_view message);

}  // namespace quillor
