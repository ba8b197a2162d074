// A QUERY's rows counted as it writes them, for a host that takes them as values
// rather than counting the elements of the texts it is handed.
#pragma once

#include <cstdint>

namespace quillor {

struct QueryRowCounts {
  int64_t page = 0;   // the page being handed over, then the last one handed over
  int64_t pages = 0;  // the pages handed over
  int64_t reply = 0;  // the reply's rows, once it is written
};

}  // namespace quillor
