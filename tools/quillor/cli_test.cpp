// The command line: what it refuses as usage, the options it keeps as given, and
// the help it prints.
#include "tools/quillor/cli.h"

#include <gtest/gtest.h>

#include "testing/scoped_env.h"
#include "testing/command_line.h"

namespace quillor {
namespace {

using testing::kLibrary871;
using testing::RunTool;
using testing::ToolRun;

TEST(CliTest, UsageErrorsExitWithTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"transact", "--release", "8.72"},
           {"transact", "--release", ""},
           {"register", "--release", "9"},
           {"unregister", "--release", "8.7"},
           {"transact", "--no-such-option"},
           {"transact", "a.xml", "b.xml"},
           {"init-db"},
           {"init-db", "--sample"},
           {"demo", "--dir"},
       }) {
    const ToolRun r = RunTool(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.code, kUsageExit) << joined << r.err;
    EXPECT_FALSE(r.err.empty()) << joined;
  }
  EXPECT_EQ(RunTool({"--help"}).code, 0);
}

TEST(CliTest, TransactPassesAnExplicitEmptyConnectionOn) {
  testing::TempDir dir;
  testing::OwnRegistry registry(dir);
  ScopedEnv env("QUILLOR_CONNECTION",
                ("Provider=SQLite;Data Source=" + dir.path().string() + "/none.db").c_str());
  const std::string request = "<zqinterface roottag=\"material\" docid=\"d\" proc=\"add\"/>";

  const ToolRun empty =
      RunTool({"transact", "--library", kLibrary871, "--connection", "", "-"}, request);
  EXPECT_EQ(empty.code, 0) << empty.err;
  EXPECT_NE(empty.out.find("<reply code=\"529\" message=\"数据库连接错误!\"/>\n"),
            std::string::npos)
      << empty.out;

  // Without the option the variable's text is used: a missing file is a failure, not 529.
  const ToolRun from_env = RunTool({"transact", "--library", kLibrary871}, request);
  EXPECT_EQ(from_env.code, 0) << from_env.err;
  EXPECT_EQ(from_env.out.find("code=\"529\""), std::string::npos) << from_env.out;
  EXPECT_NE(from_env.out.find("<reply code=\""), std::string::npos) << from_env.out;
}

TEST(RegisterCommandTest, HelpNamesTheRegistryFileAndItsOrder) {
  for (const char* command : {"register", "unregister"}) {
    const ToolRun r = RunTool({command, "--help"});
    EXPECT_EQ(r.code, 0);
    const size_t q = r.out.find("$QUILLOR_REGISTRY"), x = r.out.find("$XDG_CONFIG_HOME"),
                 h = r.out.find("$HOME/.config/quillor/registry");
    ASSERT_NE(h, std::string::npos) << r.out;
    EXPECT_LT(q, x);
    EXPECT_LT(x, h);
  }
}

}  // namespace
}  // namespace quillor
