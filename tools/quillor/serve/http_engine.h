// The server's HTTP engine: it accepts the connections, reads each request under
// a deadline and writes the answers in order. Its handlers run on whichever
// thread holds the reading turn (reading_turn.h): a free worker, which serves a
// request it read whole itself, or the engine's own thread while every worker
// is in a call. Waiting for a slow client costs a deadline, not a worker. The
// HTTP library is seen only by the engine's sources.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tools/quillor/serve/service.h"
#include "tools/quillor/serve/tls_identity.h"
#include "tools/quillor/serve/worker_pool.h"

namespace quillor::serve {

struct EngineSettings {
  std::string host;
  int port = 0;  // 0: a free port
  // HTTPS with the certificate and key it holds (read again on a reload); it
  // outlives the engine. None: plain HTTP.
  TlsIdentity* tls = nullptr;
  // For the headers of a request, and again for its body; also for refusals.
  std::chrono::milliseconds read_timeout{30000};
  // How long an answer may wait for its client to take a byte.
  std::chrono::milliseconds write_timeout{30000};
  // An open connection between requests.
  std::chrono::milliseconds idle_timeout{5000};
  // How long requests in progress at a stop may take to finish.
  std::chrono::milliseconds drain_timeout{30000};
  size_t max_connections = 1024;
  uint64_t max_request_bytes = 64u << 20;
  // Memory for answers their clients have not taken, over every connection;
  // past it they wait in spool files in `spool_dir`.
  uint64_t max_buffered_bytes = 256u << 20;
  std::string spool_dir = "/tmp";
};

class HttpEngine {
 public:
  using NoteWriter = std::function<void(const std::string& line)>;

  // Binds and listens; a failure (address, certificate) is a quillor::Failure.
  HttpEngine(EngineSettings settings, Service& service, WorkerPool& pool, NoteWriter note);
  ~HttpEngine();
  HttpEngine(const HttpEngine&) = delete;
  HttpEngine& operator=(const HttpEngine&) = delete;

  int port() const;
  // Serves until a stop has drained; returns whether the drain ended in time.
  // The pool's workers read meanwhile; the calling thread watches the reading
  // turn and reads itself when no worker can.
  bool Run();
  // Begins the stop; from any thread.
  void Stop();

  struct Core;

 private:
  std::unique_ptr<Core> core_;
};

}  // namespace quillor::serve
