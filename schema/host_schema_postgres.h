// What a PostgreSQL host database needs beside its tables so that the component's
// statements run there unchanged.
#pragma once

#include "platform/db/database.h"

namespace quillor {

// The host's bit columns (bIsBaseDep, bflag_CA) are compared with and given the bare
// numbers 1 and 0; PostgreSQL's boolean and bit types accept neither, its smallint both.
inline constexpr const char* kPostgresBitType = "smallint";

// The host compares texts with numbers (ca_mabsw.cppid, the cost-object id kept as
// text, with iRealCOID in "a.cppid=b.iRealCOID"; release 8.61's str() columns with
// bare numbers in its query conditions), which PostgreSQL never converts on its own.
// Adds "=" between text and integer and every comparison between text and numeric,
// both ways round, reading the text as the host engine does (blanks around it
// ignored, empty text 0), so that '         2' = 2 and a text that is no number
// matches nothing. Needs no more than ownership of the database; running it again
// replaces the functions and keeps the operators.
void CreatePostgresComparisons(Connection& conn);

}  // namespace quillor
