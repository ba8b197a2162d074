#include "platform/db/relative_data_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quillor {
namespace {

std::string Resolved(const std::string& text) {
  return WithDataSourceResolved(ConnectionText::Lenient(text)).text();
}

TEST(RelativeDataSource, ARelativeSqliteFileIsNamedFromTheFolderTheHostIsIn) {
  const std::string here = std::filesystem::current_path().string();
  EXPECT_EQ(
      Resolved("Provider=SQLite;Data Source=host.db"),
      "Provider=SQLite;Data Source=\"" + (std::filesystem::path(here) / "host.db").string() + "\"");
  // The provider's name is read as the host reads it: any case, blanks around.
  EXPECT_EQ(Resolved("Provider= sqlite ;Data Source=sub/host.db;"),
            "Provider= sqlite ;Data Source=\"" +
                (std::filesystem::path(here) / "sub/host.db").string() + "\"");
}

TEST(RelativeDataSource, AQuoteInTheFolderIsDoubledInsideTheQuotedValue) {
  const std::filesystem::path home = std::filesystem::current_path();
  const std::filesystem::path odd =
      std::filesystem::temp_directory_path() / "quillor \"quoted\" folder";
  std::filesystem::create_directories(odd);
  std::filesystem::current_path(odd);
  const std::string resolved = Resolved("Provider=SQLite;Data Source=host.db");
  std::filesystem::current_path(home);
  std::filesystem::remove_all(odd);
  EXPECT_NE(resolved.find("quillor \"\"quoted\"\" folder/host.db\""), std::string::npos)
      << resolved;
  // Read back, the value names the file itself.
  EXPECT_EQ(ConnectionText::Lenient(resolved).Get("Data Source"), (odd / "host.db").string());
}

TEST(RelativeDataSource, OtherTextsStayAsTheyAre) {
  for (const char* text : {"Provider=SQLite;Data Source=/var/lib/quillor/erp.db",
                           "Provider=SQLite;Data Source=:memory:", "Provider=SQLite;Data Source=",
                           "Provider=SQLite", "DSN=erp;Data Source=host.db",
                           "Provider=SQLOLEDB;Data Source=server;Initial Catalog=erp"}) {
    EXPECT_EQ(Resolved(text), text);
  }
}

}  // namespace
}  // namespace quillor
