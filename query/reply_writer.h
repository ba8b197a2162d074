// The QUERY reply and its pages, written as text as the rows arrive: the
// request's frame (prolog and emptied root) around the rows of the page.
#pragma once

#include <cstdint>
#include <string>

#include "platform/xml/xml.h"
#include "platform/xml/xml_writer.h"

namespace quillor {

class ReplyWriter {
 public:
  explicit ReplyWriter(XmlFrame frame);
  ReplyWriter(const ReplyWriter&) = delete;  // the writer points into this object
  ReplyWriter& operator=(const ReplyWriter&) = delete;

  // Opens the element of the next row, named by roottag, with its row number as
  // `id`; the record mapper writes its children into the returned writer.
  XmlTextWriter& StartRow(const XmlName& name, int32_t id);
  void EndRow();

  bool HasRows() const { return rows_ > 0; }
  // The rows of the page so far.
  int64_t Rows() const { return rows_; }

  // The text of the page so far; the page keeps its rows.
  std::string PageText() const;
  // The text of the page so far; the next page starts empty.
  std::string TakePage();
  // The text of the page so far, the last: nothing more is written.
  std::string Finish();

 private:
  XmlFrame frame_;
  std::string text_;  // the head and the rows written since
  XmlTextWriter writer_{text_};
  int64_t rows_ = 0;
  size_t longest_page_ = 0;
};

}  // namespace quillor
