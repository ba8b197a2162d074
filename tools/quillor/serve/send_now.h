// A whole answer handed straight to a plain socket by the worker that made it,
// without waiting: what the socket takes at once is sent, the rest is queued for
// the I/O thread.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillor::serve {

struct SentNow {
  size_t taken = 0;     // bytes of head and body together
  bool failed = false;  // the connection is gone
};

SentNow SendNow(int socket, std::string_view head, std::string_view body);

}  // namespace quillor::serve
