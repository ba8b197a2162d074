#include "tools/quillor/serve/startup_line.h"

#include <gtest/gtest.h>

#include "testing/built_tree.h"

namespace quillor::serve {
namespace {

TEST(StartupLine, PasswordsAreMaskedWhateverTheirCase) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"Provider=SQLite;Data Source=/x.db", "Provider=SQLite;Data Source=/x.db"},
      {"Driver=PostgreSQL;UID=q;PWD=secret;Server=h", "Driver=PostgreSQL;UID=q;PWD=***;Server=h"},
      {"Server=h;password=s3;", "Server=h;password=***;"},
      {"Server=h; Password =s;Pwd=t", "Server=h; Password =***;Pwd=***"},
      {"PWDX=keep;MyPassword=keep", "PWDX=keep;MyPassword=keep"},
      // A quoted password may hold a ';': none of it shows.
      {"Server=h;PWD=\"a;b\";UID=u", "Server=h;PWD=***;UID=u"},
      {"Provider=SQLOLEDB;Password='x;y''z'", "Provider=SQLOLEDB;Password=***"},
  };
  // The library masks the text the startup line shows.
  const LibraryQueries library = LoadQueries(testing::BuiltLibraryResolved("8.71"));
  for (const auto& [text, masked] : table) {
    EXPECT_EQ(library.connection_facts(text).masked, masked) << text;
  }
}

TEST(StartupLine, SaysWhereAResendMayStoreTwice) {
  ServiceSettings settings;
  settings.connection_text = "Provider=SQLite;Data Source=/x.db;PWD=p";
  ServeOptions options;
  // Each release's library says whether its ADD lines replace earlier ones.
  for (const char* release : {"8.71", "8.61", "8.50"}) {
    const LibraryIdentity identity = LoadQueries(testing::BuiltLibraryResolved(release)).identity;
    EXPECT_EQ(identity.release, release);
    const std::string line = StartupLine(identity, "/lib.so",
                                         LoadQueries(testing::BuiltLibraryResolved(release))
                                             .connection_facts(settings.connection_text)
                                             .masked,
                                         settings, options);
    EXPECT_NE(line.find(std::string("release ") + release + " (/lib.so)"), std::string::npos);
    EXPECT_NE(line.find("PWD=***"), std::string::npos) << line;
    EXPECT_NE(line.find("tokens off, TLS off"), std::string::npos) << line;
    EXPECT_EQ(line.find("without replacing") != std::string::npos, std::string(release) != "8.71")
        << line;
  }
}

}  // namespace
}  // namespace quillor::serve
