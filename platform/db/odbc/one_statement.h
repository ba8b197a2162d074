// A server that takes several statements in one text would run whatever a value
// smuggled in after the first one. Every statement text is checked to hold one
// statement before it is sent, as SQLite's preparation checks it there.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/db/sql_dialect.h"

namespace quillor::odbc {

// The offset where a second statement begins (the first character after a
// semicolon that is neither blank nor comment), or npos when the text holds one
// statement. Quoted texts ('...', with E'...' escapes on PostgreSQL), quoted
// names ("...", [...] on SQL Server), dollar-quoted texts on PostgreSQL and
// comments (-- and nested /* */) are read as the server reads them. A text
// left open at its end hides nothing: the server refuses it.
size_t SecondStatementAt(std::string_view sql, Dialect dialect);

}  // namespace quillor::odbc
