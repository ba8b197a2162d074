// The manual page and the completion are written from the definition --help
// prints: every subcommand and option --help shows is in both.
#include "tools/quillor/help_pages.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "testing/command_line.h"

namespace quillor {
namespace {

using testing::RunTool;

// The long options a subcommand's --help lists.
std::set<std::string> HelpOptions(const std::string& subcommand) {
  const std::string help = RunTool({subcommand, "--help"}).out;
  std::set<std::string> out;
  const std::regex option("(^|\\s)(--[a-z][a-z-]*)");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
       it != std::sregex_iterator(); ++it) {
    out.insert((*it)[2]);
  }
  return out;
}

std::string RoffDashes(std::string text) {
  std::string out;
  for (const char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

TEST(HelpPages, ManPageAndCompletionCoverWhatHelpShows) {
  const testing::ToolRun man = RunTool({"--man-page"});
  const testing::ToolRun completion = RunTool({"--bash-completion"});
  ASSERT_EQ(man.code, 0);
  ASSERT_EQ(completion.code, 0);
  EXPECT_EQ(man.out.rfind(".TH QUILLOR 1 ", 0), 0u);
  for (const char* section :
       {".SH ENVIRONMENT", ".SH FILES", ".SH EXIT STATUS", ".SH EXAMPLES", "QUILLOR_CONNECTION",
        "QUILLOR_TRACE_SQL", "/etc/quillor/serve.conf"}) {
    EXPECT_NE(man.out.find(RoffDashes(section)), std::string::npos) << section;
  }
  for (const std::string sub : {"transact", "init-db", "register", "unregister", "demo", "serve"}) {
    EXPECT_NE(man.out.find(".SS " + RoffDashes(sub) + "\n"), std::string::npos) << sub;
    EXPECT_NE(completion.out.find("    " + sub + ") opts=\""), std::string::npos) << sub;
    const std::set<std::string> options = HelpOptions(sub);
    EXPECT_GE(options.size(), 2u) << sub;
    for (const std::string& option : options) {
      EXPECT_NE(man.out.find("\\fB" + RoffDashes(option) + "\\fR"), std::string::npos)
          << sub << " " << option;
      EXPECT_NE(completion.out.find(option), std::string::npos) << sub << " " << option;
    }
  }
  EXPECT_NE(completion.out.find("--release) COMPREPLY=($(compgen -W \"8.71 8.61 8.50\""),
            std::string::npos)
      << completion.out;
  EXPECT_NE(completion.out.find("complete -o filenames -F _quillor quillor"), std::string::npos);
}

}  // namespace
}  // namespace quillor
