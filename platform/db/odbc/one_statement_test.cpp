#include "platform/db/odbc/one_statement.h"

#include <gtest/gtest.h>

namespace quillor::odbc {
namespace {

constexpr size_t kOne = std::string_view::npos;

TEST(OneStatementTest, ASecondStatementIsFoundWhereTheServerWouldRunIt) {
  struct Case {
    const char* sql;
    Dialect dialect;
    size_t second;  // where the second statement starts, or kOne
  };
  const Case cases[] = {
      {"select 1", Dialect::kPostgres, kOne},
      {"select 1;", Dialect::kPostgres, kOne},
      {"select 1; ;\n -- end\n /* c */", Dialect::kPostgres, kOne},
      {"select 1; delete from t", Dialect::kPostgres, 10},
      {"select 1;;delete from t", Dialect::kSqlServer, 10},
      {"select 1;--x\ndelete", Dialect::kPostgres, 13},
      // Semicolons inside quoted texts, names and comments are no ends.
      {"select ';''; delete'", Dialect::kPostgres, kOne},
      {"select \"a;b\"", Dialect::kPostgres, kOne},
      {"select [a;b]", Dialect::kSqlServer, kOne},
      {"select 1 -- ; delete", Dialect::kPostgres, kOne},
      {"select 1 /* /* ; */ ; */", Dialect::kPostgres, kOne},
      {"select $$;$$", Dialect::kPostgres, kOne},
      {"select $t$ $$; $t$", Dialect::kPostgres, kOne},
      // A backslash escapes only in E'...': in a plain text it is a character.
      {"select E'\\';'; delete", Dialect::kPostgres, 15},
      {"select '\\'; delete", Dialect::kPostgres, 12},
      {"select 'x\\';'", Dialect::kPostgres, 12},
      {"select e'\\'' ; x", Dialect::kPostgres, 15},
      {"select me'\\'; x", Dialect::kPostgres, 14},
      // $1 and a$b$ are no dollar quotes; brackets quote only on SQL Server.
      {"select $1; x", Dialect::kPostgres, 11},
      {"select a$b$; x", Dialect::kPostgres, 13},
      {"select a[1]; x", Dialect::kPostgres, 13},
      // A text left open runs nothing after it: the server refuses the whole.
      {"select 'open; delete", Dialect::kPostgres, kOne},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SecondStatementAt(c.sql, c.dialect), c.second) << c.sql;
  }
}

}  // namespace
}  // namespace quillor::odbc
