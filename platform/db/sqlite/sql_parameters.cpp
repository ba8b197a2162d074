#include "platform/db/sqlite/sql_parameters.h"

#include "platform/base/text.h"
#include "platform/db/sql_tokens.h"

namespace quillor::sqlite {
namespace {

std::string Unquoted(std::string_view quoted) {
  std::string out;
  out.reserve(quoted.size());
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    out += quoted[i];
    if (quoted[i] == '\'') ++i;  // the second of a doubled quote
  }
  return out;
}

// A parameter of the statement's own: ?, ?1, :name, @name, $name, #name.
bool IsOwnParameter(const SqlToken& token) {
  const char c = token.text[0];
  if (token.kind == SqlTokenKind::kWord) return c == '@' || c == '#';
  return token.kind == SqlTokenKind::kPunct &&
         (c == '?' || c == ':' || c == '$' || c == '@' || c == '#');
}

}  // namespace

std::optional<Parameterised> Parameterise(std::string_view sql) {
  const std::vector<SqlToken> tokens = TokenizeSql(sql, SqlQuoting::kSqlite);
  size_t first = 0;
  while (first < tokens.size() && (tokens[first].kind == SqlTokenKind::kBlank ||
                                   tokens[first].kind == SqlTokenKind::kComment)) {
    ++first;
  }
  if (first == tokens.size() ||
      !(IsSqlWord(tokens[first], "select") || IsSqlWord(tokens[first], "insert") ||
        IsSqlWord(tokens[first], "update") || IsSqlWord(tokens[first], "delete"))) {
    return std::nullopt;
  }

  Parameterised out;
  out.shape.reserve(sql.size());
  bool binding = false;  // past the outermost where, values or set
  bool frozen = false;   // past an order by, group by or returning
  int depth = 0;
  const SqlToken* previous_word = nullptr;  // the word just before, blanks apart
  for (const SqlToken& token : tokens) {
    if (!token.closed) return std::nullopt;
    if (IsOwnParameter(token)) return std::nullopt;
    const bool bindable = binding && !frozen;
    switch (token.kind) {
      case SqlTokenKind::kBlank:
      case SqlTokenKind::kComment:
        out.shape.append(token.text);
        continue;  // the previous word stays the previous word
      case SqlTokenKind::kText:
        if (bindable) {
          out.shape += '?';
          out.values.push_back({true, Unquoted(token.text)});
        } else {
          out.shape.append(token.text);
        }
        break;
      case SqlTokenKind::kNumber:
        if (bindable && AllDigits(token.text) && token.text.size() <= 18) {
          out.shape += '?';
          int64_t value = 0;
          for (char d : token.text) value = value * 10 + (d - '0');
          out.values.push_back({false, {}, value});
        } else {
          out.shape.append(token.text);
        }
        break;
      case SqlTokenKind::kWord:
        if (depth == 0 &&
            (IsSqlWord(token, "where") || IsSqlWord(token, "values") || IsSqlWord(token, "set"))) {
          binding = true;
        }
        if (IsSqlWord(token, "returning") ||
            (IsSqlWord(token, "by") && previous_word != nullptr &&
             (IsSqlWord(*previous_word, "order") || IsSqlWord(*previous_word, "group")))) {
          frozen = true;
        }
        out.shape.append(token.text);
        previous_word = &token;
        continue;
      case SqlTokenKind::kPunct:
        if (token.text[0] == '(') ++depth;
        if (token.text[0] == ')') --depth;
        out.shape.append(token.text);
        break;
      case SqlTokenKind::kQuotedName:
      case SqlTokenKind::kBlob:
        out.shape.append(token.text);
        break;
    }
    previous_word = nullptr;
  }
  return out;
}

}  // namespace quillor::sqlite
