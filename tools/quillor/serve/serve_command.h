// quillor serve: the component behind an HTTP endpoint.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

namespace quillor::serve {

struct ServeOptions {
  std::optional<std::string> connection;  // else $QUILLOR_CONNECTION
  std::string release = "8.71";
  std::optional<std::string> library;
  std::string listen = "127.0.0.1:8080";
  size_t threads = 8;
  size_t queue = 64;
  std::optional<std::string> tokens;
  size_t max_request_bytes = size_t{64} << 20;
  std::optional<std::string> tls_cert;
  std::optional<std::string> tls_key;
  int read_timeout_seconds = 30;
  int idle_timeout_seconds = 5;
  int drain_timeout_seconds = 30;
  size_t max_connections = 1024;
  bool healthz_open = false;
  bool log_healthz = false;
  int write_timeout_seconds = 30;
  size_t max_buffered_bytes = size_t{256} << 20;
  std::optional<std::string> spool_dir;  // else $TMPDIR, else /tmp
  // The component's own names a --config file gave (QUILLOR_TRACE_SQL,
  // QUILLOR_MAX_REQUEST_SIZE, QUILLOR_REGISTRY), over the process's environment.
  std::map<std::string, std::string> component_values;
};

// Listens until SIGTERM or SIGINT (SIGHUP reads the tokens file and the TLS
// certificate and key again), then lets every request in progress finish
// (for at most the drain timeout) and returns 0; 1 when the server cannot start (the reason is
// written to err). The first line on out, once the socket listens, is "listening on URL".
int RunServe(const ServeOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quillor::serve
