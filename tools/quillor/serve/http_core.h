// Inside the engine: the I/O context, the open connections and the stop, shared
// by the listener (http_engine.cpp) and the connections (http_session.cpp).
// Only those two sources include this header and the HTTP library behind it.
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <memory>
#include <set>

#include "tools/quillor/serve/answer_queue.h"
#include "tools/quillor/serve/http_engine.h"

namespace quillor::serve {

namespace asio = boost::asio;

// One open connection, as the core sees it. Used by the thread that holds the
// reading turn only.
class OpenConnection {
 public:
  virtual ~OpenConnection() = default;
  // True while a request of the connection is being served or answered.
  virtual bool in_progress() const = 0;
  // Closes a connection that has no request in progress, at a stop.
  virtual void CloseIfIdle() = 0;
  // Cancels the operation in progress when its deadline has passed.
  virtual void Expire(std::chrono::steady_clock::time_point now) = 0;
};

struct HttpEngine::Core {
  Core(EngineSettings s, Service& sv, WorkerPool& p, NoteWriter n)
      : settings(std::move(s)), service(sv), pool(p), note(std::move(n)) {}

  const EngineSettings settings;
  Service& service;
  WorkerPool& pool;
  const NoteWriter note;

  // Run by one thread at a time (the holder of the reading turn), so that its
  // handlers never wake another thread to go on waiting for events.
  asio::io_context io{1};
  asio::ip::tcp::acceptor acceptor{io};
  std::optional<asio::ssl::context> tls;
  std::set<OpenConnection*> connections;
  bool stopping = false;
  bool accept_paused = false;
  bool drained_in_time = true;
  asio::steady_timer drain_timer{io};
  // Memory held by every connection's unsent answers.
  BufferBudget budget{settings.max_buffered_bytes};
  // Accepting waits a moment when the process is out of file descriptors.
  asio::steady_timer accept_timer{io};
  std::chrono::steady_clock::time_point fd_note_at;
  long fd_failures = 0;
  // The deadlines of every connection are looked at a few times a second, by
  // one timer, rather than each read and write arming a timer of its own.
  asio::steady_timer sweep_timer{io};

  void Accept();
  void PauseAccepting();
  void Sweep();
  // The counts /metrics shows as they are at the moment.
  Gauges CurrentGauges() const;
  void Added(OpenConnection* connection) { connections.insert(connection); }
  // A connection ended: room for another, and perhaps the end of a drain.
  void Removed(OpenConnection* connection);
  void BeginStop();
};

// Starts serving an accepted socket.
void StartConnection(HttpEngine::Core& core, asio::ip::tcp::socket socket);

}  // namespace quillor::serve
