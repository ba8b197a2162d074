#include "query/reply_writer.h"

#include <algorithm>
#include <charconv>

namespace quillor {

ReplyWriter::ReplyWriter(XmlFrame frame) : frame_(std::move(frame)) {}

XmlTextWriter& ReplyWriter::StartRow(const XmlName& name, int32_t id) {
  // The head is written with a page's first row: a reply without rows is the
  // empty frame, and a long head is not held twice for it.
  if (rows_ == 0) text_ += frame_.head;
  writer_.StartElement(name);
  // The rows belong to no namespace, also under a root that declares a default one.
  if (frame_.default_namespace) writer_.Attribute("xmlns", "");
  char digits[12];
  const char* end = std::to_chars(digits, digits + sizeof digits, id).ptr;
  writer_.Attribute("id", std::string_view(digits, static_cast<size_t>(end - digits)));
  return writer_;
}

void ReplyWriter::EndRow() {
  writer_.EndElement();
  ++rows_;
}

std::string ReplyWriter::PageText() const {
  if (rows_ == 0) return frame_.empty;
  std::string page;
  page.reserve(text_.size() + frame_.tail.size());
  page += text_;
  page += frame_.tail;
  return page;
}

std::string ReplyWriter::TakePage() {
  // A page without rows is the empty frame, which stays for the pages after.
  if (rows_ == 0) return frame_.empty;
  std::string page = Finish();
  longest_page_ = std::max(longest_page_, page.size());
  // Pages come out at much the same size: the next is given the room of the longest.
  text_ = std::string();
  text_.reserve(longest_page_);
  rows_ = 0;
  return page;
}

std::string ReplyWriter::Finish() {
  if (rows_ == 0) return std::move(frame_.empty);
  text_ += frame_.tail;
  return std::move(text_);
}

}  // namespace quillor
