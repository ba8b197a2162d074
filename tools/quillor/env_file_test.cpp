// The service's NAME=VALUE file is read as a shell reads it: every line taken here
// gives the same value under `set -a; . FILE`, and every line a shell would read
// differently is refused.
#include "tools/quillor/env_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "testing/temp_dir.h"

namespace quillor {
namespace {

struct Taken {
  const char* line;
  const char* value;
};

constexpr Taken kTaken[] = {
    {"A=plain", "plain"},
    {"A='Provider=SQLite;Data Source=/var/lib/quillor/erp.db'",
     "Provider=SQLite;Data Source=/var/lib/quillor/erp.db"},
    {"A=\"Driver=PostgreSQL Unicode;PWD=p\\\"q\\$r\"", "Driver=PostgreSQL Unicode;PWD=p\"q$r"},
    {"A='it'\\''s'", "it's"},
    {"A=", ""},
    {"A=''", ""},
    {"export A=127.0.0.1:8080", "127.0.0.1:8080"},
    {"A='--tokens /etc/quillor/tokens'  # a comment", "--tokens /etc/quillor/tokens"},
    {"A=x#y", "x#y"},
    {"A=a\\ b", "a b"},
    {"A=\"back\\slash\"", "back\\slash"},
};

constexpr const char* kRefused[] = {
    "A=Provider=SQLite;Data Source=/tmp/x.db",  // what a shell runs as two commands
    "A=two words",
    "A=$HOME",
    "A=\"$HOME\"",
    "A=`id`",
    "A='open",
    "A=\"open",
    "A = spaced",
    "just words",
    "A=x|y",
    "1A=x",
};

// What `set -a; . FILE` makes of the line, by the shell itself.
std::string ShellValue(const testing::TempDir& dir, const std::string& line) {
  const std::string file = dir.File("shell.conf");
  std::ofstream(file) << line << "\n";
  const std::string command = "sh -c 'set -a; . \"$1\"; printf %s \"$A\"' sh '" + file + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[256];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

TEST(EnvFile, TakesWhatAShellTakesWithTheSameValue) {
  testing::TempDir dir;
  for (const Taken& taken : kTaken) {
    const std::vector<EnvFileEntry> entries = ParseEnvText(taken.line, "serve.conf");
    ASSERT_EQ(entries.size(), 1u) << taken.line;
    EXPECT_EQ(entries[0].name, "A") << taken.line;
    EXPECT_EQ(entries[0].value, taken.value) << taken.line;
    EXPECT_EQ(ShellValue(dir, taken.line), taken.value) << taken.line;
  }
}

TEST(EnvFile, RefusesWhatAShellWouldReadOtherwiseAndSaysWhichLine) {
  for (const char* line : kRefused) {
    const std::string text = std::string("# first\n\nB=ok\n") + line + "\n";
    try {
      ParseEnvText(text, "serve.conf");
      ADD_FAILURE() << "taken: " << line;
    } catch (const EnvFileError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("serve.conf:4: ", 0), 0u) << e.what();
    }
  }
}

TEST(EnvFile, KeepsTheOrderAndTheLineNumbersAndSkipsComments) {
  const auto entries = ParseEnvText("# c\n  \nA=1\r\n  # indented\nB='2'\nA=3", "f");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name + entries[0].value + std::to_string(entries[0].line), "A13");
  EXPECT_EQ(entries[1].name + entries[1].value + std::to_string(entries[1].line), "B25");
  EXPECT_EQ(entries[2].name + entries[2].value + std::to_string(entries[2].line), "A36");
}

TEST(EnvFile, AMissingFileIsAnError) {
  testing::TempDir dir;
  EXPECT_THROW(ReadEnvFile(dir.File("absent.conf")), EnvFileError);
}

}  // namespace
}  // namespace quillor
