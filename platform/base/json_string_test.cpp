#include "platform/base/json_string.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

TEST(ReadJsonString, ReadsBackWhatJsonStringWrites) {
  for (const std::string& text :
       {std::string(""), std::string("plain"), std::string("a\"b\\c/d"), std::string("\r\n\t\b\f"),
        std::string("\x01\x1f\0", 3), std::string("成功 {a;b}")}) {
    const std::string quoted = JsonString(text) + "=rest";
    size_t pos = 0;
    std::string why;
    const auto read = ReadJsonString(quoted, pos, why);
    ASSERT_TRUE(read.has_value()) << quoted << ": " << why;
    EXPECT_EQ(*read, text);
    EXPECT_EQ(quoted.substr(pos), "=rest");
  }
}

TEST(ReadJsonString, ReadsTheEscapesOfOtherWriters) {
  struct Case {
    const char* quoted;
    const char* text;
  };
  const Case cases[] = {
      {R"("a\/b")", "a/b"},
      {R"("\u0041\u00e9\u6210")", "A\xC3\xA9\xE6\x88\x90"},
      {"\"raw\ttab\"", "raw\ttab"},  // written by an earlier release
  };
  for (const Case& c : cases) {
    size_t pos = 0;
    std::string why;
    EXPECT_EQ(ReadJsonString(c.quoted, pos, why).value_or("<none>"), c.text) << c.quoted;
  }
}

TEST(ReadJsonString, RefusesWhatIsNotAJsonString) {
  struct Case {
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {"unquoted", "expected a quoted text"},
      {"", "expected a quoted text"},
      {R"("open)", "unterminated quoted text"},
      {R"("ends in \)", "unterminated quoted text"},
      {R"("\q")", "unknown escape"},
      {R"("\u12")", "unknown escape"},
      {R"("\ud800")", "unknown escape"},
  };
  for (const Case& c : cases) {
    size_t pos = 0;
    std::string why;
    EXPECT_FALSE(ReadJsonString(c.text, pos, why).has_value()) << c.text;
    EXPECT_EQ(why, c.why) << c.text;
  }
}

}  // namespace
}  // namespace quillor
