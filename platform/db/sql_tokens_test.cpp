#include "platform/db/sql_tokens.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/db/sql_dialect.h"
#include "platform/db/sqlite/sql_parameters.h"

namespace quillor {
namespace {

std::string Kinds(std::string_view sql, SqlQuoting quoting) {
  std::string out;
  for (const SqlToken& t : TokenizeSql(sql, quoting)) {
    static constexpr char kLetter[] = "_cwntqbp";  // blank comment word number text name blob punct
    out += kLetter[static_cast<int>(t.kind)];
    if (!t.closed) out += '!';
  }
  return out;
}

TEST(TokenizeSql, SplitsIntoTokensThatGiveTheStatementBack) {
  struct Case {
    const char* sql;
    SqlQuoting quoting;
    const char* kinds;
  };
  const Case cases[] = {
      {"select a from t", SqlQuoting::kHost, "w_w_w_w"},
      {"a='it''s'", SqlQuoting::kHost, "wpt"},
      {"'open", SqlQuoting::kHost, "t!"},
      {"[a]]b] x", SqlQuoting::kHost, "q_w"},       // ]] stands for ] on the host
      {"[a]]b] x", SqlQuoting::kSqlite, "qpwp_w"},  // but ends the name on SQLite
      {"`a'b`", SqlQuoting::kSqlite, "q"},
      {"`a'b`", SqlQuoting::kHost, "pwt!"},
      {"\"a\"\"b\".c", SqlQuoting::kHost, "qpw"},
      {"1e-3+0x1F-2.5 .5", SqlQuoting::kHost, "npnpn_n"},
      {"4E--x\ny", SqlQuoting::kHost, "nc_w"},  // a sign with no digit after it is no exponent
      {"x'00'X'1' max'a'", SqlQuoting::kHost, "bb_wt"},
      {"@v #t $1 ?", SqlQuoting::kHost, "w_w_pn_p"},
      {"a -- 'x'\nb /* 'y' */c /* open", SqlQuoting::kHost, "w_c_w_cw_c"},
      {"\v\f\r\n\t ", SqlQuoting::kHost, "_"},
      {"", SqlQuoting::kHost, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Kinds(c.sql, c.quoting), c.kinds) << c.sql;
    std::string joined;
    for (const SqlToken& t : TokenizeSql(c.sql, c.quoting)) joined += t.text;
    EXPECT_EQ(joined, c.sql);
  }
}

TEST(TokenizeSql, WordsCompareWhateverTheCase) {
  const auto tokens = TokenizeSql("ISNULL isnullx 'isnull'", SqlQuoting::kHost);
  EXPECT_TRUE(IsSqlWord(tokens[0], "isnull"));
  EXPECT_FALSE(IsSqlWord(tokens[2], "isnull"));
  EXPECT_FALSE(IsSqlWord(tokens[4], "isnull"));
}

// Neither the dialect adaptation nor the parameterisation changes a quoted text:
// it comes out whole, as it went in, or bound with exactly its content.
TEST(TokenizeSql, QuotedTextIsNeverTouchedByEitherReader) {
  struct Case {
    const char* sql;
    const char* bound_text;  // the one text value the parameterisation takes out
  };
  const Case cases[] = {
      {"select a from t where b='insert x(a) values(1)'", "insert x(a) values(1)"},
      {"select a from t where b='isnull(a,b)'", "isnull(a,b)"},
      {"select a from t where b='str(1) -- ''x'''", "str(1) -- 'x'"},
      {"select a from t where b='/* 12 */ where 3'", "/* 12 */ where 3"},
      {"select a from t where b='[x] \"y\" `z` ?1 :n @v'", "[x] \"y\" `z` ?1 :n @v"},
  };
  for (const Case& c : cases) {
    const std::string sql = c.sql;
    const std::string quoted = sql.substr(sql.find('\''));
    for (Dialect d : {Dialect::kSqlite, Dialect::kPostgres}) {
      const std::string adapted = AdaptStatement(sql, d);
      ASSERT_GE(adapted.size(), quoted.size()) << sql;
      EXPECT_EQ(adapted.substr(adapted.size() - quoted.size()), quoted) << sql;
    }
    const auto p = sqlite::Parameterise(AdaptStatement(sql, Dialect::kSqlite));
    ASSERT_TRUE(p.has_value()) << sql;
    ASSERT_EQ(p->values.size(), 1u) << sql;
    EXPECT_EQ(p->values[0].text, c.bound_text) << sql;
    EXPECT_EQ(p->shape, sql.substr(0, sql.find('\'')) + "?") << sql;
  }
}

}  // namespace
}  // namespace quillor
