// What a PostgreSQL host database needs beside its tables so that the component's
// statements run there unchanged.
#pragma once

#include "platform/database.h"

namespace quillor {

// The host's bit columns (bIsBaseDep, bflag_CA) are compared with and given the bare
// numbers 1 and 0; PostgreSQL's boolean and bit types accept neither, its smallint both.
inline constexpr const char* kPostgresBitType = "smallint";

// The host compares a text column with an integer one (ca_mabsw.cppid, the cost-object
// id kept as text, with iRealCOID in "a.cppid=b.iRealCOID"), which PostgreSQL never
// converts on its own. Adds "=" between text and integer, both ways round, comparing
// the integer's decimal text, so that a text that is no number simply matches nothing.
// Needs no more than ownership of the database; running it again changes nothing.
void CreatePostgresComparisons(Connection& conn);

}  // namespace quillor
