#include "tools/quillor/serve/multipart_parts.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace quillor::serve {
namespace {

TEST(MultipartParts, BoundariesAreRandomLettersThatDoNotRepeat) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string boundary = NewBoundary();
    EXPECT_TRUE(std::regex_match(boundary, std::regex("quillor-[0-9a-z]{24}"))) << boundary;
    seen.insert(boundary);
  }
  EXPECT_EQ(seen.size(), 200u);
  EXPECT_EQ(MultipartContentType("B"), "multipart/mixed; boundary=B");
}

TEST(MultipartParts, APageAndTheReplyAreWrittenByteForByte) {
  EXPECT_EQ(PagePart("B", "<rows/>", 2, 7, 5),
            "--B\r\nContent-Type: application/xml\r\nX-Quillor-Page: 2 of 7\r\nX-Quillor-Rows: "
            "5\r\n\r\n<rows/>\r\n");
  EXPECT_EQ(ReplyPart("B", "<reply/>\n", 4, ""),
            "--B\r\nContent-Type: application/xml; charset=utf-8\r\nX-Quillor-Part: reply\r\n"
            "X-Quillor-Rows: 4\r\n\r\n<reply/>\n\r\n--B--\r\n");
  EXPECT_EQ(ReplyPart("B", "<reply/>\n", 0, "-2147217900"),
            "--B\r\nContent-Type: application/xml; charset=utf-8\r\nX-Quillor-Part: reply\r\n"
            "X-Quillor-Rows: 0\r\nX-Quillor-Code: -2147217900\r\n\r\n<reply/>\n\r\n--B--\r\n");
}

}  // namespace
}  // namespace quillor::serve
