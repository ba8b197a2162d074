// `quillor serve --config FILE`: the service's file fills what the command line
// leaves unset, and nothing in it is misread.
#include "tools/quillor/serve_config.h"

#include <gtest/gtest.h>
#include <CLI/CLI.hpp>

#include <fstream>
#include <map>

#include "testing/command_line.h"
#include "testing/scoped_env.h"
#include "testing/temp_dir.h"
#include "tools/quillor/command_error.h"
#include "tools/quillor/env_file.h"
#include "tools/quillor/serve/serve_cli.h"

namespace quillor {
namespace {

// The serve command line parsed, with its files applied as Run applies them.
struct ParsedServe {
  explicit ParsedServe(std::vector<std::string> args, std::vector<std::string> files = {})
      : command(app) {
    args.insert(args.begin(), "serve");
    std::reverse(args.begin(), args.end());
    app.parse(args);
    serve = app.get_subcommand("serve");
    ServeConfigValues values = ApplyServeConfig(*serve, files);
    component = std::move(values.component);
    environment = std::move(values.environment);
  }
  std::string Value(const std::string& option) const {
    const CLI::Option* found = serve->get_option(option);
    return found->count() > 0 ? found->as<std::string>() : "(unset)";
  }
  CLI::App app;
  serve::ServeCommand command;
  CLI::App* serve = nullptr;
  std::map<std::string, std::string> component;
  std::map<std::string, std::string> environment;
};

std::string Write(const testing::TempDir& dir, const std::string& name, const std::string& text) {
  const std::string path = dir.File(name);
  std::ofstream(path) << text;
  return path;
}

TEST(ServeConfig, FillsWhatTheCommandLineLeavesAndALaterFileWins) {
  testing::TempDir dir;
  const std::string base = Write(dir, "serve.conf",
                                 "QUILLOR_CONNECTION='Provider=SQLite;Data Source=/x/erp.db'\n"
                                 "QUILLOR_RELEASE=8.71\n"
                                 "QUILLOR_LISTEN=127.0.0.1:8080\n"
                                 "QUILLOR_SERVE_OPTIONS='--threads 3 --tokens=/etc/t --queue 9'\n");
  const std::string release = Write(dir, "serve-8.61.conf", "QUILLOR_LISTEN=127.0.0.1:8081\n");
  ParsedServe parsed({"--release", "8.61", "--queue", "5"}, {base, release});
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"--connection", "Provider=SQLite;Data Source=/x/erp.db"},
      {"--release", "8.61"},           // the command line's
      {"--listen", "127.0.0.1:8081"},  // the later file's
      {"--threads", "3"},
      {"--tokens", "/etc/t"},
      {"--queue", "5"},  // the command line's
      {"--tls-cert", "(unset)"},
  };
  for (const auto& [option, value] : expected) EXPECT_EQ(parsed.Value(option), value) << option;
}

TEST(ServeConfig, AConnectionOnTheCommandLineKeepsTheFilesConnectionOut) {
  testing::TempDir dir;
  const std::string conf =
      Write(dir, "serve.conf", "QUILLOR_CONNECTION='Provider=SQLite;Data Source=/x/erp.db'\n");
  ParsedServe file_given({"--connection-file", "/etc/quillor/connection"}, {conf});
  EXPECT_EQ(file_given.Value("--connection"), "(unset)");
  ParsedServe text_given({"--connection", "DSN=erp"}, {conf});
  EXPECT_EQ(text_given.Value("--connection"), "DSN=erp");
}

TEST(ServeConfig, RefusesWhatItCannotTakeAndNamesTheLine) {
  testing::TempDir dir;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"QUILLOR_LISTNE=127.0.0.1:1\n",
       "bad.conf:1: unknown name QUILLOR_LISTNE; did you mean QUILLOR_LISTEN?"},
      {"# c\nQUILLOR_RELEASE=9.99\n", "bad.conf:2: --release: 9.99 not in"},
      {"QUILLOR_SERVE_OPTIONS='--threads 0'\n", "bad.conf:1: --threads: Value 0 not in range"},
      {"QUILLOR_SERVE_OPTIONS='--thread 2'\n", "bad.conf:1: QUILLOR_SERVE_OPTIONS holds --thread"},
      {"QUILLOR_SERVE_OPTIONS='--config x'\n", "bad.conf:1: QUILLOR_SERVE_OPTIONS holds --config"},
      {"QUILLOR_SERVE_OPTIONS=--tokens\n",
       "bad.conf:1: QUILLOR_SERVE_OPTIONS gives --tokens no value"},
      {"QUILLOR_CONNECTION=DSN=a\nQUILLOR_SERVE_OPTIONS='--connection-file /c'\n",
       "the files give the connection more than once"},
      {"QUILLOR_CONNECTION=Provider=SQLite;Data Source=/x\n", "bad.conf:1: a ; outside quotes"},
  };
  for (const auto& [text, message] : cases) {
    const std::string path = Write(dir, "bad.conf", text);
    try {
      ParsedServe parsed({}, {path});
      ADD_FAILURE() << "taken: " << text;
    } catch (const std::exception& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(message), std::string::npos) << what;
      EXPECT_EQ(
          what.find(path) == std::string::npos && what.find("more than once") == std::string::npos,
          false)
          << what;
    }
  }
}

TEST(ServeConfig, TheComponentsOwnNamesComeBackAsValuesAndOtherProgramsNamesAsTheEnvironment) {
  testing::TempDir dir;
  ScopedEnv trace("QUILLOR_TRACE_SQL", nullptr);
  ScopedEnv bound("QUILLOR_MAX_REQUEST_SIZE", nullptr);
  ScopedEnv odbc("ODBCSYSINI", nullptr);
  const std::string conf =
      Write(dir, "serve.conf",
            "QUILLOR_TRACE_SQL=/tmp/trace.jsonl\nQUILLOR_MAX_REQUEST_SIZE=4096\n"
            "QUILLOR_REGISTRY=/srv/registry\nODBCSYSINI=/etc/odbc\nQUILLOR_DATA_DIR=/srv/map\n");
  ParsedServe parsed({}, {conf});
  EXPECT_EQ(parsed.component,
            (std::map<std::string, std::string>{{"QUILLOR_MAX_REQUEST_SIZE", "4096"},
                                                {"QUILLOR_REGISTRY", "/srv/registry"},
                                                {"QUILLOR_TRACE_SQL", "/tmp/trace.jsonl"}}));
  EXPECT_EQ(std::getenv("QUILLOR_TRACE_SQL"), nullptr);
  EXPECT_EQ(std::getenv("QUILLOR_MAX_REQUEST_SIZE"), nullptr);
  EXPECT_EQ(parsed.environment,
            (std::map<std::string, std::string>{{"ODBCSYSINI", "/etc/odbc"},
                                                {"QUILLOR_DATA_DIR", "/srv/map"}}));
  // Nothing is set in this process: the server starts again in that environment.
  EXPECT_EQ(std::getenv("ODBCSYSINI"), nullptr);
}

TEST(ServeConfig, TheConnectionFileHoldsOneLine) {
  testing::TempDir dir;
  EXPECT_EQ(ReadConnectionFile(Write(dir, "c1", "DSN=erp;PWD=x\n")), "DSN=erp;PWD=x");
  EXPECT_EQ(ReadConnectionFile(Write(dir, "c2", "DSN=erp;PWD=x")), "DSN=erp;PWD=x");
  EXPECT_THROW(ReadConnectionFile(Write(dir, "c3", "")), CommandError);
  EXPECT_THROW(ReadConnectionFile(Write(dir, "c4", "QUILLOR_CONNECTION=a\nQUILLOR_LISTEN=b\n")),
               CommandError);
  EXPECT_THROW(ReadConnectionFile(dir.File("absent")), CommandError);
}

// The whole command: a file it cannot take ends it before anything listens, with
// the usage exit status; a password is never echoed back.
TEST(ServeConfig, ServeStopsOnABadFileBeforeListening) {
  testing::TempDir dir;
  const std::string conf =
      Write(dir, "serve.conf", "QUILLOR_CONNECTION='DSN=erp;PWD=secret'\nQUILLOR_LISTN=x\n");
  const testing::ToolRun run = testing::RunTool({"serve", "--config", conf});
  EXPECT_EQ(run.code, kUsageExit);
  EXPECT_NE(run.err.find("unknown name QUILLOR_LISTN"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("secret"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  const testing::ToolRun missing =
      testing::RunTool({"serve", "--connection-file", dir.File("absent")});
  EXPECT_EQ(missing.code, kUsageExit);
  EXPECT_NE(missing.err.find("cannot read the connection file"), std::string::npos) << missing.err;
  const testing::ToolRun both =
      testing::RunTool({"serve", "--connection", "DSN=a", "--connection-file", conf});
  EXPECT_EQ(both.code, kUsageExit) << both.err;
}

}  // namespace
}  // namespace quillor
