// What `quillor --version` prints.
#include "tools/quillor/version.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "testing/built_tree.h"
#include "testing/command_line.h"

namespace quillor {
namespace {

using testing::RunTool;
using testing::ToolRun;

TEST(VersionTest, VersionNamesTheReleaseLibrariesBesideTheCommand) {
  const ToolRun r = RunTool({"--version"});
  EXPECT_EQ(r.code, 0);
  // The commit and the date say which build an operator runs.
  EXPECT_TRUE(std::regex_search(r.out, std::regex("^quillor 8\\.71\nsource commit: "
                                                  "([0-9a-f]{12}|unknown)\nbuild date: "
                                                  "[0-9]{4}-[0-9]{2}-[0-9]{2}\nreleases:\n")))
      << r.out;
  for (const char* release : {"8.71", "8.61", "8.50"}) {
    const std::string library = testing::BuiltLibraryResolved(release);
    EXPECT_NE(r.out.find("  " + std::string(release) + "  " + library + "\n"), std::string::npos)
        << r.out;
  }
}

}  // namespace
}  // namespace quillor
