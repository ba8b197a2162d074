#include "platform/hosts/eai_helper.h"

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

EaiHelper& EaiHelper::ForThisThread() {
  // Created at the thread's first use and never released while the thread runs.
  thread_local EaiHelper helper;
  return helper;
}

std::string EaiHelper::MakeErrorReply(std::string_view code, std::string_view message,
                                      std::string& /*extra*/) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"" + EscapeAttribute(code) +
         "\" message=\"" + EscapeAttribute(message) + "\"/>";
}

std::string EaiHelper::ReadAttribute(XmlElement element, std::string_view name) {
  if (!element) throw Failure(failure_numbers::kFail, "ReadAttribute: no element");
  return element.Attribute(name).value_or(std::string());
}

std::string EaiHelper::ReadField(XmlElement element, std::string_view name) {
  if (!element) throw Failure(failure_numbers::kFail, "ReadField: no element");
  if (XmlElement child = element.FirstChild(name)) return child.Text();
  return element.Attribute(name).value_or(std::string());
}

bool EaiHelper::AppendItemResult(XmlDocument& doc, std::string_view id, int32_t code,
                                 std::string_view message, int32_t /*reserved*/,
                                 Extras& /*extras*/) {
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
  return true;
}

std::string EaiHelper::GetReplyTemplate(std::string_view docid, std::string& proc) {
  return "<reply docid=\"" + EscapeAttribute(docid) + "\" proc=\"" + EscapeAttribute(proc) + "\"/>";
}

}  // namespace quillor
