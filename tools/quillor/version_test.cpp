// What `quillor --version` prints.
#include "tools/quillor/version.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(r.out.rfind("quillor 8.71\nreleases:\n", 0), 0u) << r.out;
  for (const char* release : {"8.71", "8.61", "8.50"}) {
    const std::string library = testing::BuiltLibraryResolved(release);
    EXPECT_NE(r.out.find("  " + std::string(release) + "  " + library + "\n"), std::string::npos)
        << r.out;
  }
}

}  // namespace
}  // namespace quillor
