#include "platform/db/sql_dialect.h"

#include <vector>

#include "platform/db/sql_tokens.h"

namespace quillor {
namespace {

using Token = SqlToken;
using TokenKind = SqlTokenKind;

bool IsPunct(const Token& t, char c) { return t.kind == TokenKind::kPunct && t.text[0] == c; }

bool IsSkippable(const Token& t) {
  return t.kind == TokenKind::kBlank || t.kind == TokenKind::kComment;
}

class Adapter {
 public:
  Adapter(std::vector<Token> tokens, Dialect dialect)
      : tokens_(std::move(tokens)), dialect_(dialect) {}

  std::string Run() {
    std::string out;
    const size_t first = NextSignificant(0);
    size_t begin = 0;
    if (first < tokens_.size() && IsSqlWord(tokens_[first], "insert")) {
      const size_t name = NextSignificant(first + 1);
      if (name < tokens_.size() && !IsSqlWord(tokens_[name], "into") &&
          (tokens_[name].kind == TokenKind::kWord || tokens_[name].kind == TokenKind::kText ||
           tokens_[name].kind == TokenKind::kQuotedName)) {
        out += Adapt(0, name);
        out += "into ";
        begin = name;
      }
    }
    out += Adapt(begin, tokens_.size());
    return out;
  }

 private:
  size_t NextSignificant(size_t i) const {
    while (i < tokens_.size() && IsSkippable(tokens_[i])) ++i;
    return i;
  }

  // The index of the ")" closing the "(" at open, and the top-level commas between
  // them; tokens_.size() when the statement ends first.
  size_t MatchParen(size_t open, std::vector<size_t>* commas) const {
    int depth = 0;
    for (size_t i = open; i < tokens_.size(); ++i) {
      if (IsPunct(tokens_[i], '(')) {
        ++depth;
      } else if (IsPunct(tokens_[i], ')')) {
        if (--depth == 0) return i;
      } else if (depth == 1 && IsPunct(tokens_[i], ',')) {
        commas->push_back(i);
      }
    }
    return tokens_.size();
  }

  bool FollowsDot(size_t i) const {
    while (i > 0) {
      --i;
      if (!IsSkippable(tokens_[i])) return IsPunct(tokens_[i], '.');
    }
    return false;
  }

  // A call of a function of that name at i: the indices of its "(" and ")" and
  // its top-level commas.
  bool Call(size_t i, std::string_view name, size_t* open, size_t* close,
            std::vector<size_t>* commas) const {
    if (!IsSqlWord(tokens_[i], name) || FollowsDot(i)) return false;
    *open = NextSignificant(i + 1);
    if (*open >= tokens_.size() || !IsPunct(tokens_[*open], '(')) return false;
    *close = MatchParen(*open, commas);
    return *close < tokens_.size();
  }

  std::string Adapt(size_t begin, size_t end) const {
    std::string out;
    for (size_t i = begin; i < end; ++i) {
      size_t open = 0, close = 0;
      std::vector<size_t> commas;
      if (Call(i, "isnull", &open, &close, &commas) && commas.size() == 1) {
        const size_t first = NextSignificant(open + 1);
        size_t str_open = 0, str_close = 0;
        if (IsStr(first, &str_open, &str_close) && NextSignificant(str_close + 1) == commas[0]) {
          // isnull(str(x),y) as one text, so that it compares with numbers as the host
          // compares them.
          out += ComparedAsNumber("coalesce" + Adapt(i + 1, first) +
                                  NumberInTenColumns(Adapt(str_open + 1, str_close)) +
                                  Adapt(str_close + 1, close + 1));
          i = close;
          continue;
        }
        out += "coalesce";
        continue;  // the parentheses and arguments follow as they are
      }
      if (IsStr(i, &open, &close)) {
        out += ComparedAsNumber(NumberInTenColumns(Adapt(open + 1, close)));
        i = close;
        continue;
      }
      out += tokens_[i].text;
    }
    return out;
  }

  // A one-argument str( ) call at i.
  bool IsStr(size_t i, size_t* open, size_t* close) const {
    if (i >= tokens_.size()) return false;
    std::vector<size_t> commas;
    return Call(i, "str", open, close, &commas) && commas.empty() && *close > *open + 1;
  }

  // The host's str(x): x rounded to a whole number, halves away from zero,
  // right-aligned in ten places, or ten asterisks when it needs more; null stays null.
  std::string NumberInTenColumns(const std::string& x) const {
    if (dialect_ == Dialect::kPostgres) {
      const std::string digits = "round((" + x + ")::numeric)::text";
      return "(case when length(" + digits + ")>10 then repeat(chr(42),10) else lpad(" + digits +
             ",10) end)";
    }
    return "quillor_str(" + x + ")";  // registered on every SQLite connection
  }

  // On the host a text meets a number as a number. SQLite compares a text with a
  // number as a text with the number's text when the text has text affinity, and
  // then by the collation, which reads both as numbers. PostgreSQL has operators
  // of its own for it (quillor init-db).
  std::string ComparedAsNumber(const std::string& text) const {
    if (dialect_ == Dialect::kPostgres) return text;
    return "cast(" + text + " as text) collate quillor_number";
  }

  std::vector<Token> tokens_;
  Dialect dialect_;
};

}  // namespace

std::string AdaptStatement(std::string_view sql, Dialect dialect) {
  if (dialect == Dialect::kSqlServer) return std::string(sql);
  return Adapter(TokenizeSql(sql, SqlQuoting::kHost), dialect).Run();
}

}  // namespace quillor
