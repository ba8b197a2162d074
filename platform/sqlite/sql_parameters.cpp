#include "platform/sqlite/sql_parameters.h"

namespace quillor::sqlite {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsIdentifierStart(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || u >= 0x80;
}

bool IsIdentifierPart(char c) { return IsIdentifierStart(c) || IsDigit(c) || c == '$'; }

std::string Lower(std::string_view word) {
  std::string out(word);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The end of a token quoted by `close` starting at `at` (its opening
// character), a doubled closing character standing for itself; npos when the
// token does not end.
size_t QuotedEnd(std::string_view sql, size_t at, char close) {
  for (size_t i = at + 1; i < sql.size(); ++i) {
    if (sql[i] != close) continue;
    if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return std::string_view::npos;
}

std::string Unquoted(std::string_view quoted) {
  std::string out;
  out.reserve(quoted.size());
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    out += quoted[i];
    if (quoted[i] == '\'') ++i;  // the second of a doubled quote
  }
  return out;
}

// The end of a numeric token: digits, letters (hexadecimal, exponent, a
// trailing name), full stops, separators, and the sign of an exponent.
size_t NumberEnd(std::string_view sql, size_t at) {
  size_t i = at;
  while (i < sql.size()) {
    const char c = sql[i];
    if (IsIdentifierPart(c) || c == '.') {
      ++i;
    } else if ((c == '+' || c == '-') && (sql[i - 1] == 'e' || sql[i - 1] == 'E') &&
               !(i - at >= 2 && (sql[at + 1] == 'x' || sql[at + 1] == 'X'))) {
      ++i;
    } else {
      break;
    }
  }
  return i;
}

bool AllDigits(std::string_view token) {
  for (char c : token) {
    if (!IsDigit(c)) return false;
  }
  return !token.empty();
}

size_t SkipBlanksAndComments(std::string_view sql, size_t i) {
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      ++i;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t end = sql.find('\n', i);
      i = end == std::string_view::npos ? sql.size() : end + 1;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? sql.size() : end + 2;
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

std::optional<Parameterised> Parameterise(std::string_view sql) {
  size_t i = SkipBlanksAndComments(sql, 0);
  size_t first_end = i;
  while (first_end < sql.size() && IsIdentifierPart(sql[first_end])) ++first_end;
  const std::string first = Lower(sql.substr(i, first_end - i));
  if (first != "select" && first != "insert" && first != "update" && first != "delete") {
    return std::nullopt;
  }

  Parameterised out;
  out.shape.reserve(sql.size());
  bool binding = false;  // past the outermost where, values or set
  bool frozen = false;   // past an order by, group by or returning
  int depth = 0;
  std::string previous_word;
  i = 0;
  while (i < sql.size()) {
    const size_t skipped = SkipBlanksAndComments(sql, i);
    if (skipped != i) {
      out.shape.append(sql, i, skipped - i);
      i = skipped;
      continue;
    }
    const char c = sql[i];
    if (c == '\'') {
      const size_t end = QuotedEnd(sql, i, '\'');
      if (end == std::string_view::npos) return std::nullopt;
      if (binding && !frozen) {
        out.shape += '?';
        out.values.push_back({true, Unquoted(sql.substr(i, end - i))});
      } else {
        out.shape.append(sql, i, end - i);
      }
      i = end;
      previous_word.clear();
    } else if (c == '"' || c == '`' || c == '[') {
      const size_t end = QuotedEnd(sql, i, c == '[' ? ']' : c);
      if (end == std::string_view::npos) return std::nullopt;
      out.shape.append(sql, i, end - i);
      i = end;
      previous_word.clear();
    } else if (IsIdentifierStart(c)) {
      size_t end = i;
      while (end < sql.size() && IsIdentifierPart(sql[end])) ++end;
      if (end - i == 1 && (c == 'x' || c == 'X') && end < sql.size() && sql[end] == '\'') {
        // A blob literal stays as it is.
        const size_t blob_end = QuotedEnd(sql, end, '\'');
        if (blob_end == std::string_view::npos) return std::nullopt;
        end = blob_end;
        previous_word.clear();
      } else {
        const std::string word = Lower(sql.substr(i, end - i));
        if (depth == 0 && (word == "where" || word == "values" || word == "set")) binding = true;
        if (word == "returning" ||
            (word == "by" && (previous_word == "order" || previous_word == "group"))) {
          frozen = true;
        }
        previous_word = word;
      }
      out.shape.append(sql, i, end - i);
      i = end;
    } else if (IsDigit(c) || (c == '.' && i + 1 < sql.size() && IsDigit(sql[i + 1]))) {
      const size_t end = NumberEnd(sql, i);
      const std::string_view token = sql.substr(i, end - i);
      if (binding && !frozen && AllDigits(token) && token.size() <= 18) {
        out.shape += '?';
        int64_t value = 0;
        for (char d : token) value = value * 10 + (d - '0');
        out.values.push_back({false, {}, value});
      } else {
        out.shape.append(token);
      }
      i = end;
      previous_word.clear();
    } else if (c == '?' || c == ':' || c == '@' || c == '$' || c == '#') {
      return std::nullopt;
    } else {
      if (c == '(') ++depth;
      if (c == ')') --depth;
      out.shape += c;
      ++i;
      previous_word.clear();
    }
  }
  return out;
}

}  // namespace quillor::sqlite
