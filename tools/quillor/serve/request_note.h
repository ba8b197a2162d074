// What the server learns about the request a thread is serving, for the access
// log line written once the answer is sent. Every request is read, answered and
// logged on one thread, so each thread keeps its own note.
#pragma once

#include <chrono>
#include <string>

#include "tools/quillor/serve/reply_items.h"

namespace quillor::serve {

struct RequestNote {
  bool begun = false;
  std::chrono::steady_clock::time_point start;
  bool transact = false;  // a POST /transact that reached the component
  std::string proc;
  std::string docid;
  ItemCounts items;
};

// The calling thread's note.
RequestNote& ThisThreadsNote();

}  // namespace quillor::serve
