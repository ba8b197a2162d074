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

// A package user finds in the manual page the connection texts of each database,
// the service's file and what purge keeps, and the default of every option.
TEST(HelpPages, ManPageGivesConnectionTextsTheServiceAndEveryDefault) {
  const std::string man = RunTool({"--man-page"}).out;
  for (const char* text :
       {".SH CONNECTION TEXTS", "Provider=SQLite;Data Source=", "Driver=PostgreSQL Unicode;",
        "Driver=FreeTDS;", "DSN=erp;", ".SH SERVICE", "QUILLOR_SERVE_OPTIONS", "serve.conf",
        "never deletes a database", "/var/lib/quillor"}) {
    EXPECT_NE(man.find(RoffDashes(text)), std::string::npos) << text;
  }
  const std::vector<std::pair<std::string, std::string>> defaults = {
      {"--release", "Default: 8.71."},        {"--listen", "Default: 127.0.0.1:8080."},
      {"--threads", "Default: 8."},           {"--tokens", "Default: none: no token"},
      {"--explain", "Default: off."},         {"--config", "Default: none."},
      {"--dir", "Default: ./quillor\\-demo."}};
  for (const auto& [option, expected] : defaults) {
    const size_t at = man.find("\\fB" + RoffDashes(option) + "\\fR");
    ASSERT_NE(at, std::string::npos) << option;
    const std::string entry = man.substr(at, man.find(".TP", at) - at);
    EXPECT_NE(entry.find(expected), std::string::npos) << entry;
  }
  // Every option of every subcommand: a default, or a description that gives it.
  for (const std::string sub : {"transact", "init-db", "register", "unregister", "demo", "serve"}) {
    const size_t section = man.find(".SS " + RoffDashes(sub) + "\n");
    const size_t end = man.find(".S", section + 4);
    const std::string text = man.substr(section, end - section);
    for (const std::string& option : HelpOptions(sub)) {
      if (option == "--help") continue;
      const size_t at = text.find("\\fB" + RoffDashes(option) + "\\fR");
      ASSERT_NE(at, std::string::npos) << sub << " " << option;
      const std::string entry = text.substr(at, text.find(".TP", at) - at);
      const bool given = entry.find("Default: ") != std::string::npos ||
                         entry.find("default") != std::string::npos ||
                         (sub == "init-db" && option == "--connection");  // required
      EXPECT_TRUE(given) << sub << " " << option << ": " << entry;
    }
  }
}

}  // namespace
}  // namespace quillor
