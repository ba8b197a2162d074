#include "platform/base/json_string.h"

#include <gtest/gtest.h>

#include <vector>

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

// Each reason, with the texts refused for it.
TEST(ReadJsonString, RefusesWhatIsNotAJsonString) {
  struct Case {
    const char* why;
    std::vector<const char*> texts;
  };
  const Case cases[] = {
      {"expected a quoted text", {"unquoted", ""}},
      {"unterminated quoted text", {R"("open)", R"("ends in \)"}},
      {"unknown escape", {R"("\q")", R"("\u12")", R"("\ud800")"}},
  };
  for (const Case& c : cases) {
    for (const char* text : c.texts) {
      size_t pos = 0;
      std::string why;
      EXPECT_FALSE(ReadJsonString(text, pos, why).has_value()) << text;
      EXPECT_EQ(why, c.why) << text;
    }
  }
}

}  // namespace
}  // namespace quillor
