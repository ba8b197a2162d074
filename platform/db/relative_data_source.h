// A relative SQLite Data Source made absolute, for the pool.
#pragma once

#include "platform/db/connection_text.h"

namespace quillor {

// A relative SQLite Data Source names a file beside the folder the host is in
// when the call starts, and so does the text the pool keys and opens: a host
// that changes folder between calls then reaches the same file with and without
// the pool. Any other text stays as it is.
ConnectionText WithDataSourceResolved(const ConnectionText& connection_text);

}  // namespace quillor
