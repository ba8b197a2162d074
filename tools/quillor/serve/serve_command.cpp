#include "tools/quillor/serve/serve_command.h"

#include <signal.h>

#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/base/failure.h"
#include "platform/com/registry.h"
#include "profiles/release_profile.h"
#include "tools/quillor/command_connection.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/serve/listen_address.h"
#include "tools/quillor/serve/pool_counts.h"
#include "tools/quillor/serve/service.h"
#include "tools/quillor/serve/stop_signals.h"
#include "tools/quillor/serve/worker_pool.h"

namespace quillor::serve {

namespace {

std::string LibraryFor(const ReleaseProfile& profile, const std::optional<std::string>& given) {
  if (given) return *given;
  com::Registry registry;
  try {
    registry = com::Registry::Load(com::Registry::DefaultPath());
  } catch (const Failure&) {
    // An unreadable registry only means there is no registered library to prefer.
  }
  return ResolveLibrary(profile, std::nullopt, registry, ExecutableDirectory());
}

Failure StartFailure(const std::string& text) { return Failure(failure_numbers::kFail, text); }

std::unique_ptr<httplib::Server> MakeServer(const ServeOptions& options) {
  if (options.tls_cert.has_value() != options.tls_key.has_value()) {
    throw StartFailure("--tls-cert and --tls-key go together");
  }
  if (!options.tls_cert) return std::make_unique<httplib::Server>();
  auto server =
      std::make_unique<httplib::SSLServer>(options.tls_cert->c_str(), options.tls_key->c_str());
  if (!server->is_valid()) {
    throw StartFailure("cannot use the certificate " + *options.tls_cert + " with the key " +
                       *options.tls_key);
  }
  return server;
}

int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  const ReleaseProfile* profile = FindRelease(options.release);
  if (!profile) throw StartFailure("unknown release " + options.release);
  const std::optional<ListenAddress> address = ParseListenAddress(options.listen);
  if (!address) throw StartFailure("--listen wants HOST:PORT, not " + options.listen);
  if (options.threads == 0) throw StartFailure("--threads must be at least 1");

  ServiceSettings settings;
  settings.connection_text = ChooseConnection(options.connection);
  if (settings.connection_text.empty()) {
    throw StartFailure("no connection text: give --connection or set QUILLOR_CONNECTION");
  }
  if (options.tokens) settings.tokens = BearerTokens::Load(*options.tokens);
  if (!settings.tokens && !IsLoopback(address->host)) {
    throw StartFailure("refusing to listen on " + address->host +
                       " without --tokens: only loopback addresses may go without");
  }
  settings.max_request_bytes = options.max_request_bytes;
  settings.body_timeout = std::chrono::seconds(options.read_timeout_seconds);
  const std::string library = LibraryFor(*profile, options.library);
  settings.pool_counts = PoolCountsOf(library);

  std::mutex log_mutex;
  Service service(std::move(settings), [&](const std::string& line) {
    std::lock_guard lock(log_mutex);
    err << line << '\n' << std::flush;
  });
  std::unique_ptr<httplib::Server> server = MakeServer(options);
  std::atomic<bool> listen_over{false};

  // Blocked before the first worker starts, so that the signals come only here.
  StopSignals signals([&](int) {
    service.BeginStop();
    while (!listen_over.load()) {
      if (server->is_running()) {
        server->stop();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  ::signal(SIGPIPE, SIG_IGN);

  // A library that does not load or gives no object ends the command here,
  // before anything listens; the workers each create their own object later.
  { WorkerComponent probe(*profile, library); }

  service.Install(*server);
  server->new_task_queue = [&]() -> httplib::TaskQueue* {
    auto* pool = new WorkerPool(options.threads, options.queue, [profile, library] {
      return std::make_unique<WorkerComponent>(*profile, library);
    });
    service.set_pool(pool);
    return pool;
  };
  server->set_read_timeout(options.read_timeout_seconds);
  server->set_keep_alive_max_count(1000);
  server->set_keep_alive_timeout(5);
  // A reply is written in pieces (headers, then body): without this each small answer
  // waits for the client's delayed acknowledgement.
  server->set_tcp_nodelay(true);

  int port = address->port;
  if (port == 0) {
    port = server->bind_to_any_port(address->host);
  } else if (!server->bind_to_port(address->host, port)) {
    port = -1;
  }
  if (port < 0) {
    throw StartFailure("cannot listen on " + UrlAuthority(address->host, address->port));
  }
  out << "listening on " << (options.tls_cert ? "https" : "http") << "://"
      << UrlAuthority(address->host, port) << std::endl;

  server->listen_after_bind();
  listen_over.store(true);
  service.set_pool(nullptr);
  return 0;
}

}  // namespace

int RunServe(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  try {
    return Serve(options, out, err);
  } catch (const Failure& f) {
    err << "quillor: " << f.description() << "\n";
  } catch (const std::exception& e) {
    err << "quillor: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace quillor::serve
