#include "query/reply_writer.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

XmlFrame Frame() {
  XmlFrame frame;
  frame.head = "<?xml version=\"1.0\"?>\n<r docid=\"1\">";
  frame.tail = "</r>\n";
  frame.empty = "<?xml version=\"1.0\"?>\n<r docid=\"1\"/>\n";
  return frame;
}

void WriteRow(ReplyWriter& reply, int32_t id) {
  static const XmlName kRow("material");
  reply.StartRow(kRow, id);
  reply.EndRow();
}

TEST(ReplyWriterTest, EachPageIsTheFrameAroundItsOwnRows) {
  ReplyWriter reply(Frame());
  WriteRow(reply, 1);
  WriteRow(reply, 2);
  EXPECT_EQ(reply.TakePage(),
            "<?xml version=\"1.0\"?>\n<r docid=\"1\"><material id=\"1\"/><material "
            "id=\"2\"/></r>\n");
  WriteRow(reply, 3);
  EXPECT_EQ(reply.PageText(), "<?xml version=\"1.0\"?>\n<r docid=\"1\"><material id=\"3\"/></r>\n");
  EXPECT_EQ(reply.Finish(), "<?xml version=\"1.0\"?>\n<r docid=\"1\"><material id=\"3\"/></r>\n");
}

TEST(ReplyWriterTest, APageWithoutRowsIsTheEmptyFrameEveryTime) {
  ReplyWriter reply(Frame());
  EXPECT_EQ(reply.PageText(), Frame().empty);
  EXPECT_EQ(reply.TakePage(), Frame().empty);
  EXPECT_EQ(reply.TakePage(), Frame().empty);
  EXPECT_EQ(reply.Finish(), Frame().empty);
}

}  // namespace
}  // namespace quillor
