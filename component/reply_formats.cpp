#include "component/reply_formats.h"

#include "platform/base/failure.h"
#include "platform/xml/xml_writer.h"

namespace quillor {

namespace {

// A text for use inside a double-quoted attribute value.
std::string EscapeAttribute(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendXmlAttributeValue(out, text);
  return out;
}

}  // namespace

std::string ErrorReplyText(std::string_view code, std::string_view message) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"" + EscapeAttribute(code) +
         "\" message=\"" + EscapeAttribute(message) + "\"/>";
}

XmlDocument ReplyTemplate(std::string_view docid, std::string_view proc) {
  XmlDocument doc;
  XmlElement reply = doc.CreateElement("reply");
  reply.SetAttribute("docid", docid);
  reply.SetAttribute("proc", proc);
  doc.SetRoot(reply);
  return doc;
}

void AppendItemResult(XmlDocument& doc, std::string_view id, int32_t code,
                      std::string_view message) {
  if (!doc.HasRoot()) {
    throw Failure(failure_numbers::kFail,
                  "AppendItemResult: the reply document has no root element");
  }
  XmlElement item = doc.CreateElement("item");
  item.SetAttribute("id", id);
  item.SetAttribute("code", std::to_string(code));
  item.SetAttribute("message", message);
  // A batch of many lines holds each result as its text, not as a tree.
  doc.AppendToRootAsText(item);
}

}  // namespace quillor
