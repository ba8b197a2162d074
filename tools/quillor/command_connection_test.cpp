// Which connection text the command uses, and the SQLite file a connection text names.
#include "tools/quillor/command_connection.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "schema/host_database.h"
#include "testing/scoped_env.h"

namespace quillor {
namespace {

TEST(ConnectionTextTest, ConnectionComesFromTheOptionEvenWhenEmpty) {
  ScopedEnv env("QUILLOR_CONNECTION", "Provider=SQLite;Data Source=/env.db");
  EXPECT_EQ(ChooseConnection(std::string("")), "");
  EXPECT_EQ(ChooseConnection(std::string("DSN=x")), "DSN=x");
  EXPECT_EQ(ChooseConnection(std::nullopt), "Provider=SQLite;Data Source=/env.db");
  ScopedEnv unset("QUILLOR_CONNECTION", nullptr);
  EXPECT_EQ(ChooseConnection(std::nullopt), "");
}

TEST(ConnectionTextTest, SqliteDataSourceOfAConnectionText) {
  struct Case {
    const char* text;
    std::optional<std::string> file;
  };
  for (const Case& c : {
           Case{"Provider=SQLite;Data Source=/tmp/erp.db", "/tmp/erp.db"},
           Case{"provider = sqlite ; data source = rel/erp.db ; Busy Timeout=50", "rel/erp.db"},
           Case{"Data Source=/tmp/erp.db;Provider=SQLite", "/tmp/erp.db"},
           Case{"Provider=SQLOLEDB;Data Source=server", std::nullopt},
           Case{"Provider=SQLite", std::nullopt},
           Case{"Provider=SQLite;Data Source=", std::nullopt},
           Case{"DSN=erp", std::nullopt},
           Case{"Provider=SQLite;Data Source=\"/tmp/a;b.db\";Busy Timeout=50", "/tmp/a;b.db"},
           Case{"Provider=SQLite;Data Source={/tmp/c;d.db}", "/tmp/c;d.db"},
           Case{"Provider=SQLite;Data Source=\"/tmp/open", std::nullopt},
           Case{"", std::nullopt},
       }) {
    EXPECT_EQ(SqliteDataSource(c.text), c.file) << c.text;
  }
}

}  // namespace
}  // namespace quillor
