#include "platform/db/sql_dialect.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

struct Case {
  const char* sql;
  const char* sqlite;
};

TEST(AdaptStatement, SqliteTable) {
  const Case cases[] = {
      // insert gains "into", blanks kept as they are
      {"insert ca_mabsw(cdeptid)   values('D01')", "insert into ca_mabsw(cdeptid)   values('D01')"},
      {"INSERT  ca_mabsw (a) values(1)", "INSERT  into ca_mabsw (a) values(1)"},
      {"\r\n insert\r\nT(a) values(1)", "\r\n insert\r\ninto T(a) values(1)"},
      {"insert [ca mabsw](a) values(1)", "insert into [ca mabsw](a) values(1)"},
      {"insert into ca_mabsw(a) values(1)", "insert into ca_mabsw(a) values(1)"},
      {"Insert Into T values(1)", "Insert Into T values(1)"},
      {"select insert from t", "select insert from t"},
      // quoted text is never touched
      {"select 'insert x(' from t", "select 'insert x(' from t"},
      {"select 'it''s isnull(a,b)' from t", "select 'it''s isnull(a,b)' from t"},
      {"select \"isnull\"(a,b), [str](x) from t", "select \"isnull\"(a,b), [str](x) from t"},
      {"select 1 -- isnull(a,b)\n", "select 1 -- isnull(a,b)\n"},
      // isnull with two top-level arguments becomes coalesce
      {"select isnull(b.InvCode,'') as cppid", "select coalesce(b.InvCode,'') as cppid"},
      {"case ISNULL (a.irdcode,0) when 0", "case coalesce (a.irdcode,0) when 0"},
      {"isnull(f(a,b),isnull(c,'x,y'))", "coalesce(f(a,b),coalesce(c,'x,y'))"},
      {"isnull(a)", "isnull(a)"},
      {"isnull(a,b,c)", "isnull(a,b,c)"},
      {"where x isnull", "where x isnull"},
      {"select t.isnull(a,b)", "select t.isnull(a,b)"},
      {"isnull(a,b", "isnull(a,b"},
      // str(x) becomes a ten-character, right-aligned whole number (null stays null),
      // text that compares with numbers as numbers
      {"str(iMOSubSN)", "cast(quillor_str(iMOSubSN) as text) collate quillor_number"},
      {"isnull(str(iMORouteSN),'') as c",
       "cast(coalesce(quillor_str(iMORouteSN),'') as text) collate quillor_number as c"},
      {"isnull( str (b.x) , '' )",
       "cast(coalesce( quillor_str(b.x) , '' ) as text) collate quillor_number"},
      {"str(isnull(a,0))", "cast(quillor_str(coalesce(a,0)) as text) collate quillor_number"},
      {"isnull(str(a),str(b))",
       "cast(coalesce(quillor_str(a),cast(quillor_str(b) as text) collate quillor_number) as "
       "text) collate quillor_number"},
      {"str(x, 5)", "str(x, 5)"},
      {"str()", "str()"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AdaptStatement(c.sql, Dialect::kSqlite), c.sqlite) << c.sql;
  }
}

TEST(AdaptStatement, Postgres) {
  EXPECT_EQ(AdaptStatement("insert T(a) values(isnull(str(x),''))", Dialect::kPostgres),
            "insert into T(a) values(coalesce((case when length(round((x)::numeric)::text)>10 "
            "then repeat(chr(42),10) else lpad(round((x)::numeric)::text,10) end),''))");
}

TEST(AdaptStatement, HostDialectIsLeftAsFormed) {
  const char* sql = "insert ca_mabsw(a) values(isnull(str(x),''))";
  EXPECT_EQ(AdaptStatement(sql, Dialect::kSqlServer), sql);
}

}  // namespace
}  // namespace quillor
