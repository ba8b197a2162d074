#include "platform/db/odbc/one_statement.h"

namespace quillor::odbc {
namespace {

constexpr size_t kNone = std::string_view::npos;

bool IsWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// The end of a text quoted by `close` that starts at `i` (on the opening mark);
// a doubled closing mark stands for itself. `backslash` lets a backslash escape
// the next character, as in PostgreSQL's E'...'.
size_t EndOfQuoted(std::string_view s, size_t i, char close, bool backslash) {
  for (size_t k = i + 1; k < s.size(); ++k) {
    if (backslash && s[k] == '\\') {
      ++k;
    } else if (s[k] == close) {
      if (k + 1 < s.size() && s[k + 1] == close) {
        ++k;
      } else {
        return k + 1;
      }
    }
  }
  return s.size();
}

// The end of a /* */ comment starting at `i`; such comments nest.
size_t EndOfBlockComment(std::string_view s, size_t i) {
  int depth = 0;
  for (size_t k = i; k + 1 < s.size(); ++k) {
    if (s[k] == '/' && s[k + 1] == '*') {
      ++depth;
      ++k;
    } else if (s[k] == '*' && s[k + 1] == '/') {
      ++k;
      if (--depth == 0) return k + 1;
    }
  }
  return s.size();
}

// A PostgreSQL dollar quote's tag ("$$" or "$name$") starting at `i`, or empty.
std::string_view DollarTag(std::string_view s, size_t i) {
  if (i > 0 && IsWordChar(s[i - 1])) return {};  // part of a name such as a$b
  size_t k = i + 1;
  if (k < s.size() && s[k] >= '0' && s[k] <= '9') return {};  // a parameter, $1
  while (k < s.size() && s[k] != '$' && IsWordChar(s[k])) ++k;
  if (k >= s.size() || s[k] != '$') return {};
  return s.substr(i, k - i + 1);
}

// Where the code after position `i` continues: past blanks and comments.
size_t SkipBlanksAndComments(std::string_view s, size_t i) {
  while (i < s.size()) {
    if (IsBlank(s[i])) {
      ++i;
    } else if (s.substr(i, 2) == "--") {
      const size_t eol = s.find('\n', i);
      i = eol == kNone ? s.size() : eol + 1;
    } else if (s.substr(i, 2) == "/*") {
      i = EndOfBlockComment(s, i);
    } else {
      break;
    }
  }
  return i;
}

}  // namespace

size_t SecondStatementAt(std::string_view s, Dialect dialect) {
  const bool postgres = dialect == Dialect::kPostgres;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\'') {
      // E'...' (or e'...') takes backslash escapes; any other prefix does not.
      const bool escapes = postgres && i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e') &&
                           (i == 1 || !IsWordChar(s[i - 2]));
      i = EndOfQuoted(s, i, '\'', escapes);
    } else if (c == '"') {
      i = EndOfQuoted(s, i, '"', false);
    } else if (c == '[' && !postgres) {
      i = EndOfQuoted(s, i, ']', false);
    } else if (c == '$' && postgres && !DollarTag(s, i).empty()) {
      const std::string_view tag = DollarTag(s, i);
      const size_t close = s.find(tag, i + tag.size());
      i = close == kNone ? s.size() : close + tag.size();
    } else if (s.substr(i, 2) == "--" || s.substr(i, 2) == "/*") {
      i = SkipBlanksAndComments(s, i);
    } else if (c == ';') {
      const size_t next = SkipBlanksAndComments(s, i + 1);
      if (next < s.size()) {
        if (s[next] == ';') {
          i = next;  // empty statements between semicolons run nothing
          continue;
        }
        return next;
      }
      return kNone;
    } else {
      ++i;
    }
  }
  return kNone;
}

}  // namespace quillor::odbc
