#include "tools/quillor/serve/startup_line.h"

namespace quillor::serve {

std::string StartupLine(const LibraryIdentity& identity, const std::string& library,
                        const std::string& masked_connection, const ServiceSettings& settings,
                        const ServeOptions& options, const OpenFiles* files) {
  std::string line =
      "quillor serve: release " + identity.release + " (" + library + "), database " +
      masked_connection + ", " + std::to_string(options.threads) + " threads, queue " +
      std::to_string(options.queue) + ", max request " + std::to_string(options.max_request_bytes) +
      " bytes, read timeout " + std::to_string(options.read_timeout_seconds) + " s, idle timeout " +
      std::to_string(options.idle_timeout_seconds) + " s, drain timeout " +
      std::to_string(options.drain_timeout_seconds) + " s, write timeout " +
      std::to_string(options.write_timeout_seconds) + " s, max buffered " +
      std::to_string(options.max_buffered_bytes) + " bytes" +
      (files ? ConnectionsPart(*files)
             : ", max connections " + std::to_string(options.max_connections)) +
      ", tokens " + (settings.tokens ? "on" : "off") + ", TLS " + (options.tls_cert ? "on" : "off");
  if (!identity.replaces_lines) {
    line +=
        "; this release inserts ADD lines without replacing earlier ones: a resend of an "
        "unanswered request may store its lines twice";
  }
  return line;
}

std::string DatabaseWarning(const std::string& failure) {
  return "quillor serve: warning: the database cannot be opened now (" + failure +
         "); /healthz reports it";
}

}  // namespace quillor::serve
