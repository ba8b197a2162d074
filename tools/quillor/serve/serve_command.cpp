#include "tools/quillor/serve/serve_command.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

#include "tools/quillor/carried_releases.h"
#include "tools/quillor/command_connection.h"
#include "tools/quillor/component_session.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/serve/http_engine.h"
#include "tools/quillor/serve/listen_address.h"
#include "tools/quillor/serve/log_lines.h"
#include "tools/quillor/serve/open_files.h"
#include "tools/quillor/serve/pool_counts.h"
#include "tools/quillor/serve/service.h"
#include "tools/quillor/serve/startup_line.h"
#include "tools/quillor/serve/stop_signals.h"
#include "tools/quillor/serve/worker_pool.h"
#include "tools/quillor/server_loading.h"
#include "tools/quillor/tool_failure.h"
#include "tools/quillor/trace_file.h"

namespace quillor::serve {

namespace {

// A name of the component's own: the --config file's value, else the environment's.
std::string ComponentValue(const ServeOptions& options, const std::string& name) {
  if (const auto it = options.component_values.find(name); it != options.component_values.end()) {
    return it->second;
  }
  const char* env = std::getenv(name.c_str());
  return env ? env : "";
}

std::string LibraryFor(const std::string& release, const ServeOptions& options) {
  if (options.library) return *options.library;
  const Registration registration =
      RegistrationOf(release, ComponentValue(options, "QUILLOR_REGISTRY"));
  return ResolveLibrary(release, std::nullopt, registration, ExecutableDirectory());
}

ToolFailure StartFailure(const std::string& text) { return ToolFailure(ToolFailure::kFail, text); }

// SIGHUP: the tokens file and the certificate and key are read again. What
// cannot be read is kept as it was, and the log says why; connections already
// open, and requests in progress, go on as they are.
void Reload(const ServeOptions& options, Service& service, TlsIdentity* tls,
            const std::function<void(const std::string&)>& log) {
  std::string done;
  auto note = [&](const std::string& what) { done += (done.empty() ? "" : ", ") + what; };
  if (options.tokens && service.needs_tokens()) {
    try {
      BearerTokens tokens = BearerTokens::Load(*options.tokens);
      const size_t count = tokens.size();
      service.ReplaceTokens(std::move(tokens));
      note(std::to_string(count) + (count == 1 ? " token" : " tokens"));
    } catch (const std::exception& e) {
      log("reload: the tokens in use are kept: " + std::string(e.what()));
    }
  }
  if (tls) {
    try {
      tls->Reload();
      note("the certificate and key");
    } catch (const std::exception& e) {
      log("reload: the certificate and key in use are kept: " + std::string(e.what()));
    }
  }
  log("reloaded: " + (done.empty() ? std::string("nothing") : done));
}

// The folder of the spool files, checked now: a folder that takes no file
// would only show when a slow client's answer first needs one.
std::string SpoolDir(const std::optional<std::string>& given) {
  std::string dir = given.value_or("");
  if (dir.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    dir = tmp && *tmp ? tmp : "/tmp";
  }
  if (::access(dir.c_str(), W_OK | X_OK) != 0) {
    throw StartFailure("cannot write spool files in " + dir + " (--spool-dir)");
  }
  return dir;
}

int Serve(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  const auto known = std::find(CarriedReleases().begin(), CarriedReleases().end(), options.release);
  if (known == CarriedReleases().end()) throw StartFailure("unknown release " + options.release);
  const std::string& release = *known;
  const std::optional<ListenAddress> address = ParseListenAddress(options.listen);
  if (!address) throw StartFailure("--listen wants HOST:PORT, not " + options.listen);
  if (options.threads == 0) throw StartFailure("--threads must be at least 1");

  ServiceSettings settings;
  settings.connection_text = ChooseConnection(options.connection);
  if (settings.connection_text.empty()) {
    throw StartFailure("no connection text: give --connection or set QUILLOR_CONNECTION");
  }
  const std::string library = LibraryFor(release, options);
  const LibraryQueries queries = QueriesOf(library);
  // The file's request bound reaches the library in the connection text, which
  // a bound of the text's own still outweighs, as it outweighs the environment's.
  if (const auto it = options.component_values.find("QUILLOR_MAX_REQUEST_SIZE");
      it != options.component_values.end() && !it->second.empty() &&
      !queries.connection_facts(settings.connection_text).names_bound) {
    settings.connection_text += ";" QUILLOR_MAX_REQUEST_SIZE_KEY "=" + it->second;
  }
  // Each worker's calls are traced to the file named, through the library's
  // trace receiver.
  SessionCall worker_call;
  if (const std::string trace = ComponentValue(options, "QUILLOR_TRACE_SQL"); !trace.empty()) {
    worker_call.trace = TraceFileAppender(trace);
  }
  if (options.tokens) settings.tokens = BearerTokens::Load(*options.tokens);
  if (!settings.tokens && !IsLoopback(address->host)) {
    throw StartFailure("refusing to listen on " + address->host +
                       " without --tokens: only loopback addresses may go without");
  }
  settings.max_request_bytes = options.max_request_bytes;
  const ConnectionFacts connection_facts = queries.connection_facts(settings.connection_text);
  if (!connection_facts.bound_refused) {
    settings.component_request_bound = connection_facts.request_bound;
  }
  settings.release = release;
  settings.healthz_open = options.healthz_open;
  settings.log_healthz = options.log_healthz;
  if (options.tls_cert.has_value() != options.tls_key.has_value()) {
    throw StartFailure("--tls-cert and --tls-key go together");
  }
  std::unique_ptr<TlsIdentity> tls;
  if (options.tls_cert) tls = std::make_unique<TlsIdentity>(*options.tls_cert, *options.tls_key);
  settings.pool_counts = PoolCountsOf(queries.pool_counts);
  settings.database_failure = queries.database_failure;
  settings.gloss_message = queries.gloss_message;

  // Each line goes out whole and at once, however many threads log at once;
  // lines that come while another is being written go out with it.
  LogLines log_lines(err);
  auto write_line = [&log_lines](const std::string& line) { log_lines.Write(line); };
  Service service(settings, write_line);

  EngineSettings engine_settings;
  engine_settings.host = address->host;
  engine_settings.port = address->port;
  engine_settings.tls = tls.get();
  engine_settings.read_timeout = std::chrono::seconds(options.read_timeout_seconds);
  engine_settings.idle_timeout = std::chrono::seconds(options.idle_timeout_seconds);
  engine_settings.drain_timeout = std::chrono::seconds(options.drain_timeout_seconds);
  const OpenFiles files = RaiseOpenFileLimit(options.max_connections, options.threads);
  engine_settings.max_connections = files.connections;
  engine_settings.max_request_bytes = options.max_request_bytes;
  engine_settings.write_timeout = std::chrono::seconds(options.write_timeout_seconds);
  engine_settings.max_buffered_bytes = options.max_buffered_bytes;
  engine_settings.spool_dir = SpoolDir(options.spool_dir);

  // Blocked before the first worker starts, so that the signals come only to the
  // waiter; it is made ready to stop the engine once the engine exists.
  std::atomic<HttpEngine*> engine_to_stop{nullptr};
  std::atomic<bool> stop_asked{false};
  StopSignals signals(
      [&](int) {
        stop_asked.store(true);
        if (HttpEngine* engine = engine_to_stop.load()) engine->Stop();
      },
      [&] { Reload(options, service, tls.get(), write_line); });
  ::signal(SIGPIPE, SIG_IGN);

  // A library that does not load or gives no object ends the command here,
  // before anything listens; the workers each create their own object later.
  const LibraryIdentity identity = WorkerComponent(release, library).identity();

  WorkerPool pool(options.threads, options.queue, [release, library, worker_call] {
    return std::make_unique<WorkerComponent>(release, library, worker_call);
  });
  HttpEngine engine(engine_settings, service, pool, write_line);
  out << "listening on " << (options.tls_cert ? "https" : "http") << "://"
      << UrlAuthority(address->host, engine.port()) << std::endl;
  write_line(StartupLine(identity, library, connection_facts.masked, settings, options, &files));
  // Asked through the library's own pool, as /healthz asks it: the connection
  // it opens is the first worker's.
  if (const std::optional<std::string> failure =
          queries.database_failure(settings.connection_text)) {
    write_line(DatabaseWarning(*failure));
  }

  engine_to_stop.store(&engine);
  if (stop_asked.load()) engine.Stop();
  const bool drained = engine.Run();
  engine_to_stop.store(nullptr);
  if (!drained) {
    // A request still running holds its worker inside the component; the
    // process ends without waiting for it.
    write_line("stopped: the drain timeout passed with requests in progress");
    log_lines.Drain();
    std::_Exit(0);
  }
  pool.Shutdown();
  write_line("stopped");
  return 0;
}

}  // namespace

int RunServe(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  try {
    return Serve(options, out, err);
  } catch (const ToolFailure& f) {
    err << "quillor: " << f.description() << "\n";
  } catch (const std::exception& e) {
    err << "quillor: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace quillor::serve
