// The server's file descriptors: the soft limit raised to the hard one at the
// start, and the connections bounded by what the limit leaves for the
// database, the log and the spool files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillor::serve {

struct OpenFiles {
  uint64_t limit = 0;      // the soft limit, once raised
  size_t asked = 0;        // --max-connections
  size_t connections = 0;  // what the server takes
  bool capped() const { return connections < asked; }
};

// Descriptors kept aside for what is not a connection: standard streams, the
// listening socket, the libraries, the I/O thread's own.
inline constexpr size_t kFixedDescriptors = 64;
// For each worker: its database connection and the files behind it.
inline constexpr size_t kDescriptorsPerWorker = 4;
// For each connection: its socket, and the spool file of an answer not yet taken.
inline constexpr size_t kDescriptorsPerConnection = 2;

// The connections a limit of `limit` descriptors leaves room for.
size_t ConnectionsWithin(uint64_t limit, size_t asked, size_t threads);

// Raises this process's soft limit to its hard limit (as far as the system
// allows), and fits the connections asked for within it.
OpenFiles RaiseOpenFileLimit(size_t asked, size_t threads);

// For the start-up line: ", max connections N" and, when capped, why.
std::string ConnectionsPart(const OpenFiles& files);

}  // namespace quillor::serve
