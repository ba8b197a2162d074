// The command's text helpers: ASCII letters only change case, and only blanks
// are trimmed.
#include "tools/quillor/command_text.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

TEST(CommandText, CaseAndBlanks) {
  struct Case {
    std::string_view a, b;
    bool same;
  };
  for (const Case& c : {Case{"chunked", "Chunked", true}, Case{"CHUNKED", "chunked", true},
                        Case{"chunked", "chunke", false}, Case{"", "", true},
                        Case{"a\xc3\xa4", "A\xc3\x84", false}, Case{"[", "{", false}}) {
    EXPECT_EQ(SameIgnoringCase(c.a, c.b), c.same) << c.a << " / " << c.b;
  }
  EXPECT_TRUE(BeginsIgnoringCase("Bearer abc", "bearer "));
  EXPECT_TRUE(BeginsIgnoringCase("MULTIPART/form-data; boundary=x", "multipart/form-data"));
  EXPECT_FALSE(BeginsIgnoringCase("Bear", "bearer "));
  EXPECT_EQ(UpperAscii("add"), "ADD");
  EXPECT_EQ(UpperAscii("qUery-1 \xc3\xa4"), "QUERY-1 \xc3\xa4");
  EXPECT_EQ(WithoutBlanks(" \t token \r\n"), "token");
  EXPECT_EQ(WithoutBlanks("\v x \v"), "\v x \v");  // only blanks go
  EXPECT_EQ(WithoutBlanks(" \t\r\n"), "");
  EXPECT_EQ(WithoutBlanks("a b"), "a b");
}

}  // namespace
}  // namespace quillor
