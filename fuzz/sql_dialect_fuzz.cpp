// The dialect adaptation of statement text: it never fails, never touches a quoted
// text, comment or identifier, and leaves a statement without the few adapted
// constructs exactly as it was.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/base/text.h"
#include "platform/db/sql_dialect.h"

namespace {

using quillor::Dialect;
using quillor::fuzz::Check;

// The quoted texts and identifiers of a statement, in order, read by a scanner
// of its own; quotes inside comments do not count.
std::vector<std::string> QuotedParts(std::string_view sql) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t eol = sql.find('\n', i);
      i = eol == std::string_view::npos ? sql.size() : eol;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const size_t close = sql.find("*/", i + 2);
      i = close == std::string_view::npos ? sql.size() : close + 2;
    } else if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      while (j < sql.size()) {
        if (sql[j] == close) {
          if (j + 1 < sql.size() && sql[j + 1] == close) {
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        ++j;
      }
      parts.emplace_back(sql.substr(i, j - i));
      i = j;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' ||
               c == '$' || static_cast<unsigned char>(c) >= 0x80) {
      // A word or number never holds a quote, but it may end in one ("a'b" is a then 'b').
      ++i;
    } else {
      ++i;
    }
  }
  return parts;
}

bool Mentions(std::string_view sql, std::string_view word) {
  return quillor::AsciiLower(sql).find(word) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);

  Check(quillor::AdaptStatement(sql, Dialect::kSqlServer) == sql,
        "the host's own dialect changed a statement");
  const std::string postgres = quillor::AdaptStatement(sql, Dialect::kPostgres);
  const std::string sqlite = quillor::AdaptStatement(sql, Dialect::kSqlite);

  const bool adaptable = Mentions(sql, "insert") || Mentions(sql, "isnull") || Mentions(sql, "str");
  if (!adaptable) {
    Check(postgres == sql && sqlite == sql, "a statement with nothing to adapt changed");
    return 0;
  }
  // Neither engine's forms add a quoted text, though the number form may repeat its
  // argument: every quoted part that comes out went in, and every one that went in stays.
  const std::vector<std::string> in = QuotedParts(sql);
  for (const auto& [adapted, engine] : {std::pair{&postgres, "PostgreSQL"}, {&sqlite, "SQLite"}}) {
    const std::vector<std::string> out = QuotedParts(*adapted);
    for (const std::string& part : out) {
      Check(std::find(in.begin(), in.end(), part) != in.end(),
            std::string("a quoted part changed (") + engine + ")");
    }
    for (const std::string& part : in) {
      Check(std::find(out.begin(), out.end(), part) != out.end(),
            std::string("a quoted part vanished (") + engine + ")");
    }
  }
  return 0;
}
