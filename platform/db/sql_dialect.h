// The few constructs of the host database's dialect that other engines lack,
// adapted token by token. Quoted texts and quoted identifiers are never touched.
#pragma once

#include <string>
#include <string_view>

namespace quillor {

enum class Dialect {
  kSqlServer,  // the host's own dialect: statements go as formed
  kSqlite,
  kPostgres,
};

// For SQLite and PostgreSQL: "insert T(" gains "into"; the two-argument isnull(a,b)
// becomes the engine's coalescing function; str(x) becomes the engine's
// equivalent of a number right-aligned in ten characters (null stays null, more
// than ten characters give ten asterisks). On SQLite str(x) and isnull(str(x),y)
// are also given the collation that compares them with numbers as numbers.
// Nothing else changes, blanks and line breaks included.
std::string AdaptStatement(std::string_view sql, Dialect dialect);

}  // namespace quillor
