// Loading the server library a --library value names.
#include "tools/quillor/server_loading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "testing/command_line.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;
using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;
using testing::WriteTextFile;

TEST(CommandErrorsTest, ALibraryNamedWithoutASlashIsAFileHere) {
  TempDir dir;
  WriteTextFile(dir.path().string() + "/README.md");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const ToolRun r = RunTool({"transact", "--library", "README.md", "-"}, "<a/>");
  fs::current_path(before);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("./README.md is not a server library"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quillor
