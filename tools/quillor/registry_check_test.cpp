// Why a registry file could not be found or written, told in words.
#include "tools/quillor/registry_check.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/scoped_env.h"
#include "testing/command_line.h"

namespace quillor {
namespace {

using testing::kLibrary871;
using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;
using testing::WriteTextFile;

TEST(RegisterCommandTest, RegistryProblemsAreToldInWords) {
  TempDir dir;
  {
    ScopedEnv q("QUILLOR_REGISTRY", nullptr), x("XDG_CONFIG_HOME", nullptr), h("HOME", nullptr);
    const ToolRun r = RunTool({"register", "--library", kLibrary871});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no place for the registry file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("set QUILLOR_REGISTRY"), std::string::npos) << r.err;
  }
  // A registry below a plain file cannot be made, even by root.
  const std::string blocker = WriteTextFile(dir.path().string() + "/plain");
  ScopedEnv q("QUILLOR_REGISTRY", (blocker + "/registry").c_str());
  for (const char* command : {"register", "unregister"}) {
    const ToolRun r = RunTool({command, "--library", kLibrary871});
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_NE(r.err.find(blocker + " is not a folder"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("QUILLOR_REGISTRY"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\n0x"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace quillor
