#include "platform/db/open_connection.h"

#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "platform/db/connection_text.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "testing/expect_failure.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

// Each declared type and the ADO code it maps to.
void ExpectCodes(std::initializer_list<std::pair<const char*, int>> cases) {
  for (const auto& [declared, code] : cases) {
    EXPECT_EQ(AdoTypeFromDeclaredType(declared), code) << declared;
  }
}

TEST(AdoTypeFromDeclaredType, Table) {
  ExpectCodes({
      {"varchar(60)", 200},   {"VARCHAR (10)", 200},
      {"nvarchar(20)", 202},  {"char(1)", 129},
      {"nchar(2)", 130},      {"text", 201},
      {"ntext", 203},         {"int", 3},
      {"INTEGER", 3},         {"smallint", 2},
      {"bigint", 20},         {"bit", 11},
      {"float", 5},           {"real", 4},
      {"decimal(18,2)", 131}, {"numeric", 131},
      {"money", 6},           {"datetime", 135},
      {"date", 133},          {"time", 134},
      {"image", 205},         {"varbinary(max)", 205},
      {"varbinary(16)", 204}, {"", 200},
      {"blob", 200},          {"  Int  ", 3},
  });
}

// Declared types outside the short list map as the server's own type of that name,
// so that a condition on such a column writes its number bare.
TEST(AdoTypeFromDeclaredType, TheServersOwnTypeNames) {
  ExpectCodes({
      {"tinyint", 17},
      {"smallmoney", 6},
      {"double precision", 5},
      {"DOUBLE  PRECISION", 5},
      {"boolean", 11},
      {"uniqueidentifier", 72},
      {"binary(8)", 128},
      {"varbinary", 204},
      {"varbinary(16)", 204},
      {"number", 131},
      {"number(10,2)", 131},
      {"int identity", 3},
      {"int identity(1,1)", 3},
      {"int not null", 3},
      {"bigint primary key", 20},
      {"character varying(20)", 200},
      {"national character varying(20)", 202},
      {"smalldatetime", 135},
      {"datetime2(7)", 135},
      {"timestamp", 128},
      {"varchar(max)", 201},
      {"nvarchar(max)", 203},
      {"xml", 203},
      {"sql_variant", 12},
      {"dec(9,2)", 131},
      {"unknowntype", 200},
      {"varchar2(10)", 200},
  });
}

TEST(ConnectionText, ParsesPairs) {
  auto t = ConnectionText::Parse(
      "Driver={SQL Server;x};Server=h; Pwd='a''b' ;Database=\"d\"\"b\";;Key=last;key=again");
  EXPECT_EQ(t.Get("driver"), "SQL Server;x");
  EXPECT_EQ(t.Get("SERVER"), "h");
  EXPECT_EQ(t.Get("pwd"), "a'b");
  EXPECT_EQ(t.Get("Database"), "d\"b");
  EXPECT_EQ(t.Get("key"), "again");
  EXPECT_EQ(t.Get("missing"), std::nullopt);
  for (const char* bad : {"novalue", "=x", "a='open", "a='x' y"}) {
    EXPECT_THROW(ConnectionText::Parse(bad), Failure) << bad;
  }
}

TEST(OpenConnection, ChoosesTheBackendByProvider) {
  testing::TempDir dir;
  const std::string path = dir.File("p.db");
  CreateSqliteDatabaseFile(path);
  EXPECT_NE(OpenConnection("PROVIDER=sqlite;data source=" + path), nullptr);

  for (const char* empty : {"", "  "}) {
    EXPECT_FAILURE(failure_numbers::kFail, "[Quillor] the connection text is empty",
                   OpenConnection(empty));
  }
  // Every other provider, and a text that is no pair list of ours, goes to ODBC.
  for (const std::string& text :
       {"Provider=SQLOLEDB;Data Source=" + path, std::string("DSN=quillor-missing;UID=sa"),
        std::string("Driver={x")}) {
    try {
      OpenConnection(text);
      ADD_FAILURE() << text;
    } catch (const Failure& f) {
      EXPECT_EQ(f.description().find("[SQLite]"), std::string::npos) << text;
      EXPECT_EQ(f.description().find("invalid connection text"), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace quillor
