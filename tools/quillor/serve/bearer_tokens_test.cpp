#include "tools/quillor/serve/bearer_tokens.h"

#include <gtest/gtest.h>

#include <fstream>

#include "testing/temp_dir.h"
#include "tools/quillor/tool_failure.h"

namespace quillor::serve {
namespace {

TEST(BearerTokens, OneTokenALineWithoutCommentsBlanksOrSurroundingSpace) {
  const BearerTokens tokens = BearerTokens::FromText("# broker\nfirst\n\n  second \r\n#third\n");
  EXPECT_EQ(tokens.size(), 2u);
  const std::vector<std::pair<std::string, bool>> table = {
      {"Bearer first", true},
      {"bearer second", true},
      {"BEARER first", true},
      {"Bearer  first ", true},
      {"Bearer firs", false},
      {"Bearer firstx", false},
      {"Bearer ", false},
      {"Bearer", false},
      {"first", false},
      {"Basic first", false},
      {"Bearer #third", false},
      {"Bearer # broker", false},
      {"", false},
  };
  for (const auto& [authorization, accepted] : table) {
    EXPECT_EQ(tokens.Accepts(authorization), accepted) << "'" << authorization << "'";
  }
}

TEST(BearerTokens, AFileThatCannotBeReadOrHoldsNoTokenIsAFailure) {
  testing::TempDir dir;
  EXPECT_THROW(BearerTokens::Load((dir.path() / "missing").string()), ToolFailure);
  const std::string empty = (dir.path() / "empty").string();
  std::ofstream(empty) << "# only a comment\n\n";
  EXPECT_THROW(BearerTokens::Load(empty), ToolFailure);
  const std::string good = (dir.path() / "good").string();
  std::ofstream(good) << "t1\n";
  EXPECT_TRUE(BearerTokens::Load(good).Accepts("Bearer t1"));
}

}  // namespace
}  // namespace quillor::serve
