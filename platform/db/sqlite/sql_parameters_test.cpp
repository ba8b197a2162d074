#include "platform/db/sqlite/sql_parameters.h"

#include <gtest/gtest.h>

namespace quillor::sqlite {
namespace {

struct Case {
  const char* sql;
  const char* shape;  // nullptr: left as it is
  std::vector<BoundValue> values;
};

BoundValue Text(const char* t) { return {true, t}; }
BoundValue Int(int64_t v) { return {false, {}, v}; }

TEST(Parameterise, TakesOutOnlyLiteralsWhoseMeaningABoundValueKeeps) {
  const Case cases[] = {
      {"select distinct cInvCode from Inventory where cInvcode='M01'",
       "select distinct cInvCode from Inventory where cInvcode=?",
       {Text("M01")}},
      // Doubled quotes become one; a semicolon or keyword inside the text is text.
      {"delete from t where a='O''Brien; drop table t' and b=12 and c='5'",
       "delete from t where a=? and b=? and c=?",
       {Text("O'Brien; drop table t"), Int(12), Text("5")}},
      {"insert into ca_mabsw(cdeptid,iprice,iqua)   values('D01',2,3)",
       "insert into ca_mabsw(cdeptid,iprice,iqua)   values(?,?,?)",
       {Text("D01"), Int(2), Int(3)}},
      {"update t set a='x', b=-4 where c=7",
       "update t set a=?, b=-? where c=?",
       {Text("x"), Int(4), Int(7)}},
      // Real, hexadecimal, exponent, oversized and blob literals stay in the text.
      {"select a from t where p=2.5 and h=0x1F and e=1e-3 and n=1234567890123456789 and b=x'00'",
       "select a from t where p=2.5 and h=0x1F and e=1e-3 and n=1234567890123456789 and b=x'00'",
       {}},
      // The select list names result columns: its literals stay.
      {"select 'a', 1 from t where k=1", "select 'a', 1 from t where k=?", {Int(1)}},
      // A where inside a subquery of the select list does not start the binding.
      {"select (select 1 from u where v='a') from t where k='b'",
       "select (select 1 from u where v='a') from t where k=?",
       {Text("b")}},
      // A number after order by or group by names a column.
      {"select a from t where k=1 order by 1", "select a from t where k=? order by 1", {Int(1)}},
      {"select a, count(*) from t where k='x' group by 1 having count(*)>2",
       "select a, count(*) from t where k=? group by 1 having count(*)>2",
       {Text("x")}},
      {"delete from t where k=1 returning 'gone'",
       "delete from t where k=? returning 'gone'",
       {Int(1)}},
      // Identifiers, quoted identifiers and comments are kept; digits in names too.
      {"select [a b] from \"t'1\" where free10='v' -- 'note'\n and `c`=3",
       "select [a b] from \"t'1\" where free10=? -- 'note'\n and `c`=?",
       {Text("v"), Int(3)}},
      {"SELECT * FROM t WHERE a='A'", "SELECT * FROM t WHERE a=?", {Text("A")}},
      // Not a statement of rows, or not one that reads to its end.
      {"pragma journal_mode=WAL", nullptr, {}},
      {"savepoint quillor_0", nullptr, {}},
      {"create table t(a default 'x')", nullptr, {}},
      {"select a from t where b='open", nullptr, {}},
      {"select a from t where b=?", nullptr, {}},
      {"select a from t where b=:name", nullptr, {}},
  };
  for (const Case& c : cases) {
    const auto p = Parameterise(c.sql);
    if (c.shape == nullptr) {
      EXPECT_FALSE(p.has_value()) << c.sql;
      continue;
    }
    ASSERT_TRUE(p.has_value()) << c.sql;
    EXPECT_EQ(p->shape, c.shape) << c.sql;
    ASSERT_EQ(p->values.size(), c.values.size()) << c.sql;
    for (size_t i = 0; i < c.values.size(); ++i) {
      EXPECT_EQ(p->values[i].is_text, c.values[i].is_text) << c.sql << " value " << i;
      EXPECT_EQ(p->values[i].text, c.values[i].text) << c.sql << " value " << i;
      EXPECT_EQ(p->values[i].integer, c.values[i].integer) << c.sql << " value " << i;
    }
  }
}

}  // namespace
}  // namespace quillor::sqlite
