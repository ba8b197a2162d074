#include "entry/line_key.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

const LineKeyFields kLine{"D01", "1001", "M01", "B1", "5", 0};

// Field sets the deletion could take for the row of kLine share its key.
TEST(LineKeyTest, FieldsTheDatabaseMayTakeForOneRowShareAKey) {
  struct Case {
    const char* name;
    LineKeyFields fields;
  };
  const Case cases[] = {
      {"the same", kLine},
      {"a period with blanks, sign and zeros", {"D01", "1001", "M01", "B1", " +05 ", 0}},
      {"letter case", {"d01", "1001", "m01", "b1", "5", 0}},
      {"trailing blanks", {"D01 ", "1001  ", "M01 ", "B1\t", "5", 0}},
  };
  const std::string key = LineKey(kLine);
  for (const Case& c : cases) EXPECT_EQ(LineKey(c.fields), key) << c.name;
  EXPECT_EQ(LineKey({"D01", "1001", "M01", "B1", "-0", 0}),
            LineKey({"D01", "1001", "M01", "B1", "0", 0}));
}

TEST(LineKeyTest, OtherLinesGetOtherKeys) {
  struct Case {
    const char* name;
    LineKeyFields fields;
  };
  const Case cases[] = {
      {"department", {"D02", "1001", "M01", "B1", "5", 0}},
      {"cost object", {"D01", "1002", "M01", "B1", "5", 0}},
      {"no cost object", {"D01", std::nullopt, "M01", "B1", "5", 0}},
      {"an empty cost object", {"D01", "", "M01", "B1", "5", 0}},
      {"the text null as cost object", {"D01", "null", "M01", "B1", "5", 0}},
      {"inventory", {"D01", "1001", "M02", "B1", "5", 0}},
      {"batch", {"D01", "1001", "M01", "", "5", 0}},
      {"period", {"D01", "1001", "M01", "B1", "50", 0}},
      {"negative period", {"D01", "1001", "M01", "B1", "-5", 0}},
      {"irdcode", {"D01", "1001", "M01", "B1", "5", 8}},
      {"no irdcode", {"D01", "1001", "M01", "B1", "5", std::nullopt}},
      // Parts cannot run into each other.
      {"a text holding the next part", {"D01", "1001", "M01B1", "", "5", 0}},
      {"a separator in a text", {"D01", "1001", "M01:", "B1", "5", 0}},
  };
  const std::string key = LineKey(kLine);
  std::vector<std::string> seen{key};
  for (const Case& c : cases) {
    const std::string other = LineKey(c.fields);
    for (const std::string& earlier : seen) EXPECT_NE(other, earlier) << c.name;
    seen.push_back(other);
  }
}

}  // namespace
}  // namespace quillor
