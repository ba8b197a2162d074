#include "tools/quillor/serve/http_engine.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <cerrno>
#include <exception>

#include "tools/quillor/serve/http_core.h"
#include "tools/quillor/serve/listen_address.h"
#include "tools/quillor/serve/reading_turn.h"
#include "tools/quillor/tool_failure.h"

namespace quillor::serve {

namespace {

ToolFailure StartFailure(const std::string& text) { return ToolFailure(ToolFailure::kFail, text); }

asio::ssl::context MakeTls(TlsIdentity& identity) {
  asio::ssl::context tls(asio::ssl::context::tls_server);
  tls.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                  asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                  asio::ssl::context::no_tlsv1_1);
  identity.Serve(tls.native_handle());
  return tls;
}

asio::ip::address ResolveHost(asio::io_context& io, const std::string& host, int port) {
  boost::system::error_code ec;
  const asio::ip::address address = asio::ip::make_address(host, ec);
  if (!ec) return address;
  asio::ip::tcp::resolver resolver(io);
  const auto found = resolver.resolve(host, std::to_string(port), ec);
  if (ec || found.empty()) throw StartFailure("cannot listen on " + UrlAuthority(host, port));
  return found.begin()->endpoint().address();
}

// The process (or the system) has no descriptor left for a new connection.
bool OutOfDescriptors(const boost::system::error_code& ec) {
  return ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
         ec == asio::error::no_memory ||
         (ec.category() == boost::system::system_category() && ec.value() == ENFILE);
}

// How often the deadlines are looked at: a deadline passes at most this late.
constexpr std::chrono::milliseconds kSweep{250};

// How long the reading turn may lie free before the engine's own thread, or an
// idle worker, takes it. Longer than a call that a loaded machine stretches by
// a time slice or two, so that short calls stay on one worker; short beside
// any deadline a client would notice.
constexpr std::chrono::milliseconds kReadingTick{10};

}  // namespace

HttpEngine::HttpEngine(EngineSettings settings, Service& service, WorkerPool& pool, NoteWriter note)
    : core_(std::make_unique<Core>(std::move(settings), service, pool, std::move(note))) {
  Core& core = *core_;
  const EngineSettings& s = core.settings;
  if (s.tls) core.tls.emplace(MakeTls(*s.tls));

  const asio::ip::tcp::endpoint endpoint(ResolveHost(core.io, s.host, s.port),
                                         static_cast<unsigned short>(s.port));
  boost::system::error_code ec;
  core.acceptor.open(endpoint.protocol(), ec);
  if (!ec) core.acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) core.acceptor.bind(endpoint, ec);
  // The system's largest backlog (at least 128 on Linux): a burst of new
  // connections waits in the kernel rather than being refused.
  if (!ec) core.acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) throw StartFailure("cannot listen on " + UrlAuthority(s.host, s.port));
}

HttpEngine::~HttpEngine() = default;

int HttpEngine::port() const { return core_->acceptor.local_endpoint().port(); }

bool HttpEngine::Run() {
  Core& core = *core_;
  core.Accept();
  core.Sweep();
  // A fault in one connection's handling ends that handler, not the server.
  auto faulted = [&core](const std::exception& e) {
    core.note(std::string("quillor serve: ") + e.what());
  };
  ReadingTurn::Hooks hooks;
  hooks.run_one = [&core, faulted] {
    try {
      core.io.run_one();
      // A worker about to serve what it read first handles the events that
      // have already come, without waiting: the requests of other connections
      // then go to idle workers rather than wait for this call.
      if (core.pool.ReaderHasJob()) core.io.poll();
    } catch (const std::exception& e) {
      faulted(e);
    }
    return !core.io.stopped();
  };
  hooks.run_for = [&core, faulted](std::chrono::milliseconds most) {
    try {
      core.io.run_for(most);
    } catch (const std::exception& e) {
      faulted(e);
    }
    return !core.io.stopped();
  };
  hooks.wake_idle_worker = [&core] { return core.pool.WakeIdleReader(); };
  ReadingTurn turn(std::move(hooks), kReadingTick);
  core.pool.ReadBetweenJobs(&turn);
  turn.Watch();
  core.pool.ReadBetweenJobs(nullptr);
  return core.drained_in_time;
}

void HttpEngine::Stop() {
  asio::post(core_->io, [core = core_.get()] { core->BeginStop(); });
}

void HttpEngine::Core::Accept() {
  acceptor.async_accept([this](boost::system::error_code ec, asio::ip::tcp::socket socket) {
    if (stopping || !acceptor.is_open()) return;
    if (OutOfDescriptors(ec)) return PauseAccepting();
    if (!ec) {
      boost::system::error_code ignored;
      socket.set_option(asio::ip::tcp::no_delay(true), ignored);
      StartConnection(*this, std::move(socket));
    }
    // At the limit of open connections, the next one waits in the backlog until
    // one ends.
    if (connections.size() >= settings.max_connections) {
      accept_paused = true;
      return;
    }
    Accept();
  });
}

Gauges HttpEngine::Core::CurrentGauges() const {
  Gauges gauges;
  gauges.workers_busy = static_cast<long>(pool.busy());
  gauges.workers_idle = static_cast<long>(pool.threads()) - gauges.workers_busy;
  gauges.connections_queued = static_cast<long>(pool.queued());
  if (service.settings().pool_counts) {
    if (const auto counts = service.settings().pool_counts()) {
      gauges.pool_idle = counts->first;
      gauges.pool_busy = counts->second;
    }
  }
  return gauges;
}

// The connection waits in the backlog, and accepting again at once would only
// fail again at once: wait a moment, and say so at most once a second.
void HttpEngine::Core::PauseAccepting() {
  ++fd_failures;
  const auto now = std::chrono::steady_clock::now();
  if (now - fd_note_at >= std::chrono::seconds(1)) {
    note("quillor serve: out of file descriptors with " + std::to_string(connections.size()) +
         " connections open; accepting again in 100 ms (" + std::to_string(fd_failures) +
         (fd_failures == 1 ? " time" : " times") + " since the last note)");
    fd_note_at = now;
    fd_failures = 0;
  }
  accept_timer.expires_after(std::chrono::milliseconds(100));
  accept_timer.async_wait([this](boost::system::error_code ec) {
    if (ec || stopping) return;
    Accept();
  });
}

void HttpEngine::Core::Sweep() {
  sweep_timer.expires_after(kSweep);
  sweep_timer.async_wait([this](boost::system::error_code ec) {
    if (ec) return;
    const auto now = std::chrono::steady_clock::now();
    // Expiring only cancels: no connection leaves the set meanwhile.
    for (OpenConnection* c : connections) c->Expire(now);
    if (stopping && connections.empty()) return;
    Sweep();
  });
}

void HttpEngine::Core::Removed(OpenConnection* connection) {
  connections.erase(connection);
  if (stopping) {
    if (connections.empty()) {
      drain_timer.cancel();
      sweep_timer.cancel();
    }
    return;
  }
  if (accept_paused && connections.size() < settings.max_connections) {
    accept_paused = false;
    Accept();
  }
}

void HttpEngine::Core::BeginStop() {
  if (stopping) return;
  stopping = true;
  service.BeginStop();
  boost::system::error_code ignored;
  acceptor.close(ignored);
  accept_timer.cancel();
  size_t in_progress = 0;
  for (OpenConnection* c : connections) in_progress += c->in_progress() ? 1 : 0;
  note("stopping: " + std::to_string(in_progress) + " requests in progress");
  // Closing may end a connection, which leaves the set: walk a copy.
  const std::set<OpenConnection*> open = connections;
  for (OpenConnection* c : open) {
    if (connections.count(c)) c->CloseIfIdle();
  }
  if (connections.empty()) {
    sweep_timer.cancel();
    return;
  }
  drain_timer.expires_after(settings.drain_timeout);
  drain_timer.async_wait([this](boost::system::error_code ec) {
    if (ec || connections.empty()) return;
    drained_in_time = false;
    io.stop();
  });
}

}  // namespace quillor::serve
