// Connections kept across calls. A connection a call is done with goes back to
// the process's pool, under the exact connection text it was opened from, and the
// next call with the same text takes it instead of opening a new one: a bounded
// number of idle connections per text, each closed after an idle time, checked
// before it serves again and reset after every call, so that nothing one call
// left (a unit of work, a setting) reaches the next.
//
// A fork of the process waits until no other thread has a connection out or is
// inside the pool; idle connections whose engine keeps their locks in the process
// are closed first, and a child lets go of the rest without using or closing them.
//
// Connection-text keys read here and never passed on to the database:
//   Pooling=true|false          (default true)
//   Pool Idle Timeout=SECONDS   (default 60; how long an idle connection is kept)
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/db/connection_text.h"
#include "platform/db/database.h"
#include "platform/db/pool_settings.h"
#include "platform/db/sql_trace.h"

namespace quillor {

struct PoolCounts {
  uint64_t idle = 0;       // open, waiting for a call
  uint64_t busy = 0;       // handed to calls that are running
  uint64_t opened = 0;     // opened by the pool since it started
  uint64_t reused = 0;     // calls served by an idle connection
  uint64_t discarded = 0;  // closed by the pool: expired, broken, not resettable, over a bound
};

class ConnectionPool {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // Opens a connection from a text already without the pool's keys.
  using Opener = std::function<std::unique_ptr<Connection>(const ConnectionText&)>;

  struct Bounds {
    size_t idle_per_text = 8;
    size_t idle_in_all = 32;
  };

  ConnectionPool(Opener open, Clock clock, Bounds bounds);
  ConnectionPool(Opener open, Clock clock)
      : ConnectionPool(std::move(open), std::move(clock), {}) {}
  // Closes every idle connection; connections still out are closed when given back.
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // A connection for one call: an idle one opened from the same text when one
  // passes its check, else a new one (a failure to open is the call's failure).
  // Destroying what comes back gives the connection back to the pool. With
  // Pooling=false the connection is opened for the call alone and closed after.
  std::unique_ptr<Connection> Acquire(const ConnectionText& connection_text);
  std::unique_ptr<Connection> Acquire(std::string_view connection_text) {
    return Acquire(ConnectionText::Lenient(connection_text));
  }

  // The counts now; idle connections past their time are closed first.
  PoolCounts Counts();

  // Closes every idle connection.
  void CloseIdle();

  // The pool of this library in this process, on the real clock.
  static ConnectionPool& ForProcess();

  struct Shared;  // what the pool and the connections it handed out share

 private:
  std::shared_ptr<Shared> shared_;
  uint64_t fork_handlers_ = 0;
};

// The connection one Transact call works on: from the process's pool, traced
// when QUILLOR_TRACE_SQL names a file. The pool's own checks and resets run
// beneath the trace and never appear in it.
std::unique_ptr<Connection> OpenCallConnection(const ConnectionText& connection_text);

// The same for a caller that names its own trace: each statement's line goes to
// `trace` (none when it is empty), and QUILLOR_TRACE_SQL is not read.
std::unique_ptr<Connection> OpenCallConnection(const ConnectionText& connection_text,
                                               const TraceSink& trace);

}  // namespace quillor
