// Reading the request of `quillor transact` from a file, a FIFO, a pipe, a device
// or standard input, in pieces, never more than the bound on a request allows.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace quillor {

struct RequestRead {
  // The request; when it passes the bound, its first `most` bytes and one more,
  // so that the component refuses it as too large.
  std::string text;
  // The request's length in bytes: exact when read whole or when it is a plain
  // file; otherwise (a stream cut short) unknown, and 0.
  uint64_t size = 0;
  bool cut_short = false;  // reading stopped at the bound
};

// `source` is a path, or - for `in` (standard input). A plain file is read up to
// its size; a FIFO, a pipe or a character device (/dev/stdin, <(...),
// /dev/zero) is read as a stream until its end. Either stops once it has passed
// `most` bytes. A folder, a block device, a socket, a path that cannot be opened
// or a failing read is a CommandError that says which. `err` hears that a
// terminal is read.
RequestRead ReadRequest(const std::string& source, std::istream& in, uint64_t most,
                        std::ostream& err);

}  // namespace quillor
