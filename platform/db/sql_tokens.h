// One reading of statement text into tokens, shared by everything that rewrites
// or takes apart a statement: the texts of the tokens, joined, give the statement
// back, so a quoted text or identifier passes through whole and untouched.
#pragma once

#include <string_view>
#include <vector>

namespace quillor {

enum class SqlTokenKind {
  kBlank,
  kComment,
  kWord,        // a keyword or bare name; may start with @ or # (host variables, temp tables)
  kNumber,      // digits, letters, full stops and an exponent's sign: 12, 2.5, 0x1F, 1e-3
  kText,        // '...', its doubled quotes standing for one
  kQuotedName,  // "..." or [...] (and `...` where the engine quotes with it)
  kBlob,        // x'...'
  kPunct,       // any other single character
};

struct SqlToken {
  SqlTokenKind kind;
  std::string_view text;
  bool closed = true;  // false for a quoted token that the statement ends inside
};

// Which marks quote, and how a bracketed name ends.
enum class SqlQuoting {
  kHost,    // ' " [ ], with ]] standing for ] inside brackets
  kSqlite,  // ' " ` [ ], a bracketed name ending at its first ]
};

std::vector<SqlToken> TokenizeSql(std::string_view sql, SqlQuoting quoting);

// A word token spelt as word, whatever the case of its letters (word in lower case).
bool IsSqlWord(const SqlToken& token, std::string_view word);

}  // namespace quillor
