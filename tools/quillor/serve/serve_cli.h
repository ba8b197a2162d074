// The serve subcommand on the quillor command line.
#pragma once

#include <CLI/CLI.hpp>
#include <iosfwd>
#include <string>
#include <vector>

#include "tools/quillor/serve/serve_command.h"

namespace quillor::serve {

class ServeCommand {
 public:
  // Adds "serve" and its options to the command line.
  explicit ServeCommand(CLI::App& app);

  bool parsed() const { return command_->parsed(); }
  int Run(std::ostream& out, std::ostream& err);

 private:
  CLI::App* command_;
  ServeOptions options_;
  std::string connection_, library_, tokens_, tls_cert_, tls_key_, spool_dir_;
  std::string connection_file_;
  std::vector<std::string> config_files_;
  CLI::Option* connection_opt_;
  CLI::Option* connection_file_opt_;
  CLI::Option* config_opt_;
  CLI::Option* library_opt_;
  CLI::Option* tokens_opt_;
  CLI::Option* tls_cert_opt_;
  CLI::Option* tls_key_opt_;
  CLI::Option* spool_dir_opt_;
};

}  // namespace quillor::serve
