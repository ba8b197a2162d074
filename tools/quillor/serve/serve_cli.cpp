#include "tools/quillor/serve/serve_cli.h"
#include "tools/quillor/carried_releases.h"
#include "tools/quillor/cli.h"
#include "tools/quillor/command_error.h"
#include "tools/quillor/serve/environment_restart.h"
#include "tools/quillor/serve_config.h"

namespace quillor::serve {

namespace {

void Keep(CLI::Option* option, const std::string& value, std::optional<std::string>& target) {
  if (option->count() > 0) target = value;
}

// A whole-number option with its default shown and its range checked.
template <typename T>
void AddBounded(CLI::App* c, const char* name, T& value, const char* help, int low, int high) {
  c->add_option(name, value, help)->capture_default_str()->check(CLI::Range(low, high));
}

}  // namespace

ServeCommand::ServeCommand(CLI::App& app) {
  command_ =
      app.add_subcommand("serve", "Answer requests over HTTP with a release of the component");
  CLI::App* c = command_;
  connection_opt_ =
      c->add_option("--connection", connection_, "Connection text (default $QUILLOR_CONNECTION)");
  connection_file_opt_ = c->add_option("--connection-file", connection_file_,
                                       "File that holds the connection text, on one line")
                             ->excludes(connection_opt_);
  config_opt_ = c->add_option("--config", config_files_,
                              "The service's NAME=VALUE file (/etc/quillor/serve.conf); the "
                              "command line's options win, a later file's over an earlier's");
  c->add_option("--release", options_.release, "Release to load")
      ->capture_default_str()
      ->check(CLI::IsMember(CarriedReleases()));
  library_opt_ = c->add_option("--library", library_, "Server library to load");
  c->add_option("--listen", options_.listen, "HOST:PORT to listen on; port 0 picks a free one")
      ->capture_default_str();
  AddBounded(c, "--threads", options_.threads, "Worker threads, each with its own object", 1, 1024);
  AddBounded(c, "--queue", options_.queue, "Connections that may wait for a worker", 0, 100000);
  tokens_opt_ = c->add_option("--tokens", tokens_, "File of bearer tokens, one a line");
  c->add_option("--max-request-bytes", options_.max_request_bytes, "Largest request body")
      ->capture_default_str()
      ->check(CLI::Validator(
          [](std::string& text) -> std::string {
            size_t value = 0;
            if (!CLI::detail::lexical_cast(text, value) || value < 1 || value > (size_t{1} << 40)) {
              return "--max-request-bytes takes a whole number from 1 to 1099511627776, not " +
                     text;
            }
            return "";
          },
          "1 to 2^40"));
  AddBounded(c, "--read-timeout", options_.read_timeout_seconds,
             "Seconds a client has to send its request headers, and again its body", 1, 3600);
  AddBounded(c, "--idle-timeout", options_.idle_timeout_seconds,
             "Seconds an open connection may wait between requests", 1, 3600);
  AddBounded(c, "--drain-timeout", options_.drain_timeout_seconds,
             "Seconds the requests in progress at SIGTERM have to finish", 0, 3600);
  AddBounded(c, "--max-connections", options_.max_connections, "Connections open at once", 1,
             100000);
  AddBounded(c, "--write-timeout", options_.write_timeout_seconds,
             "Seconds an answer waits for its client to take a byte", 1, 3600);
  c->add_option("--max-buffered-bytes", options_.max_buffered_bytes,
                "Memory for answers not yet taken by their clients, all together; past it they "
                "wait in spool files")
      ->capture_default_str()
      ->check(CLI::Range(size_t{0}, size_t{1} << 40));
  spool_dir_opt_ = c->add_option("--spool-dir", spool_dir_,
                                 "Folder of the spool files (default $TMPDIR, else /tmp)");
  tls_cert_opt_ = c->add_option("--tls-cert", tls_cert_, "Certificate (PEM) for HTTPS");
  tls_key_opt_ = c->add_option("--tls-key", tls_key_, "Private key (PEM) for HTTPS");
  c->add_flag("--healthz-open", options_.healthz_open,
              "GET /healthz needs no token and answers only ok or 503");
  c->add_flag("--log-healthz", options_.log_healthz,
              "Log the /healthz answers that say ok too (left out by default)");
}

int ServeCommand::Run(std::ostream& out, std::ostream& err) {
  std::map<std::string, std::string> environment;
  try {
    if (config_opt_->count() > 0) {
      ServeConfigValues values = ApplyServeConfig(*command_, config_files_);
      options_.component_values = std::move(values.component);
      environment = std::move(values.environment);
    }
    if (connection_file_opt_->count() > 0) {
      options_.connection = ReadConnectionFile(connection_file_);
    }
  } catch (const CommandError& e) {
    err << "quillor: " << e.what() << "\n";
    if (!e.hint().empty()) err << "  " << e.hint() << "\n";
    return kUsageExit;
  } catch (const std::exception& e) {
    err << "quillor: " << e.what() << "\n";
    return kUsageExit;
  }
  // Only after every file was taken, so that a bad file is told before the restart.
  if (const std::string why = RestartInEnvironment(environment); !why.empty()) {
    err << "quillor: " << why << "\n";
    return 1;
  }
  Keep(connection_opt_, connection_, options_.connection);
  Keep(library_opt_, library_, options_.library);
  Keep(tokens_opt_, tokens_, options_.tokens);
  Keep(tls_cert_opt_, tls_cert_, options_.tls_cert);
  Keep(tls_key_opt_, tls_key_, options_.tls_key);
  Keep(spool_dir_opt_, spool_dir_, options_.spool_dir);
  return RunServe(options_, out, err);
}

}  // namespace quillor::serve
