#include "platform/sql_dialect.h"

#include <cctype>
#include <vector>

namespace quillor {
namespace {

enum class TokenKind { kBlank, kComment, kWord, kNumber, kQuoted, kPunct };

struct Token {
  TokenKind kind;
  std::string_view text;
};

bool IsWordStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '@' || c == '#' || c >= 0x80;
}
bool IsWordChar(unsigned char c) { return IsWordStart(c) || std::isdigit(c) || c == '$'; }

// Splits a statement into tokens whose texts, joined, give the statement back.
std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  size_t i = 0;
  const size_t n = sql.size();
  auto at = [&](size_t k) -> unsigned char {
    return k < n ? static_cast<unsigned char>(sql[k]) : 0;
  };
  while (i < n) {
    const size_t start = i;
    const unsigned char c = at(i);
    TokenKind kind;
    if (std::isspace(c)) {
      while (i < n && std::isspace(at(i))) ++i;
      kind = TokenKind::kBlank;
    } else if (c == '-' && at(i + 1) == '-') {
      while (i < n && at(i) != '\n') ++i;
      kind = TokenKind::kComment;
    } else if (c == '/' && at(i + 1) == '*') {
      const size_t close = sql.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
      kind = TokenKind::kComment;
    } else if (c == '\'' || c == '"' || c == '[') {
      // A quoted text or identifier; its closing mark doubled stands for itself.
      const char close = c == '[' ? ']' : static_cast<char>(c);
      ++i;
      while (i < n) {
        if (sql[i] == close) {
          if (at(i + 1) == static_cast<unsigned char>(close)) {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      kind = TokenKind::kQuoted;
    } else if (std::isdigit(c) || (c == '.' && std::isdigit(at(i + 1)))) {
      while (i < n && (std::isalnum(at(i)) || at(i) == '.')) ++i;
      kind = TokenKind::kNumber;
    } else if (IsWordStart(c)) {
      while (i < n && IsWordChar(at(i))) ++i;
      kind = TokenKind::kWord;
    } else {
      ++i;
      kind = TokenKind::kPunct;
    }
    tokens.push_back({kind, sql.substr(start, i - start)});
  }
  return tokens;
}

bool IsWord(const Token& t, std::string_view word) {
  if (t.kind != TokenKind::kWord || t.text.size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(t.text[i])) != word[i]) return false;
  }
  return true;
}

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
    if (first < tokens_.size() && IsWord(tokens_[first], "insert")) {
      const size_t name = NextSignificant(first + 1);
      if (name < tokens_.size() && !IsWord(tokens_[name], "into") &&
          (tokens_[name].kind == TokenKind::kWord || tokens_[name].kind == TokenKind::kQuoted)) {
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
    if (!IsWord(tokens_[i], name) || FollowsDot(i)) return false;
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
  return Adapter(Tokenize(sql), dialect).Run();
}

}  // namespace quillor
