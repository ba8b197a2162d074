#include "platform/db/sql_tokens.h"

#include "platform/base/text.h"

namespace quillor {
namespace {

bool IsWordStart(char c) {
  return IsAsciiLetter(c) || c == '_' || c == '@' || c == '#' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordPart(char c) { return IsWordStart(c) || IsDigit(c) || c == '$'; }

// The end of a token quoted by close that opens at `at`; a doubled closing mark
// stands for itself where doubled says so. npos when the statement ends first.
size_t QuotedEnd(std::string_view sql, size_t at, char close, bool doubled) {
  for (size_t i = at + 1; i < sql.size(); ++i) {
    if (sql[i] != close) continue;
    if (doubled && i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string_view::npos;
}

// The end of a number: digits, letters (hexadecimal, exponent, a trailing name),
// full stops, and the sign of a decimal exponent (when a digit follows it).
size_t NumberEnd(std::string_view sql, size_t at) {
  const bool hex =
      at + 1 < sql.size() && sql[at] == '0' && (sql[at + 1] == 'x' || sql[at + 1] == 'X');
  size_t i = at;
  while (i < sql.size()) {
    const char c = sql[i];
    if (IsWordPart(c) || c == '.') {
      ++i;
    } else if ((c == '+' || c == '-') && !hex && (sql[i - 1] == 'e' || sql[i - 1] == 'E') &&
               i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
      // A sign with no digit after it is no exponent: in `4E--x` the `--` opens a
      // comment, as the servers read it.
      ++i;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

std::vector<SqlToken> TokenizeSql(std::string_view sql, SqlQuoting quoting) {
  std::vector<SqlToken> tokens;
  const size_t n = sql.size();
  size_t i = 0;
  auto next_is = [&](size_t k, char c) { return k + 1 < n && sql[k + 1] == c; };
  while (i < n) {
    const size_t start = i;
    const char c = sql[i];
    SqlTokenKind kind = SqlTokenKind::kPunct;
    bool closed = true;
    auto quoted = [&](size_t open, char close, bool doubled) {
      const size_t end = QuotedEnd(sql, open, close, doubled);
      closed = end != std::string_view::npos;
      return closed ? end : n;
    };
    if (IsSpace(c)) {
      while (i < n && IsSpace(sql[i])) ++i;
      kind = SqlTokenKind::kBlank;
    } else if (c == '-' && next_is(i, '-')) {
      const size_t eol = sql.find('\n', i);
      i = eol == std::string_view::npos ? n : eol;
      kind = SqlTokenKind::kComment;
    } else if (c == '/' && next_is(i, '*')) {
      const size_t close = sql.find("*/", i + 2);
      i = close == std::string_view::npos ? n : close + 2;
      kind = SqlTokenKind::kComment;
    } else if (c == '\'') {
      i = quoted(i, '\'', true);
      kind = SqlTokenKind::kText;
    } else if (c == '"' || c == '[' || (c == '`' && quoting == SqlQuoting::kSqlite)) {
      i = c == '[' ? quoted(i, ']', quoting == SqlQuoting::kHost) : quoted(i, c, true);
      kind = SqlTokenKind::kQuotedName;
    } else if ((c == 'x' || c == 'X') && next_is(i, '\'')) {
      i = quoted(i + 1, '\'', true);
      kind = SqlTokenKind::kBlob;
    } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(sql[i + 1]))) {
      i = NumberEnd(sql, i);
      kind = SqlTokenKind::kNumber;
    } else if (IsWordStart(c)) {
      while (i < n && IsWordPart(sql[i])) ++i;
      kind = SqlTokenKind::kWord;
    } else {
      ++i;
    }
    tokens.push_back({kind, sql.substr(start, i - start), closed});
  }
  return tokens;
}

bool IsSqlWord(const SqlToken& token, std::string_view word) {
  return token.kind == SqlTokenKind::kWord && EqualsIgnoreCase(token.text, word);
}

}  // namespace quillor
