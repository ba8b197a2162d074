// `quillor serve --config FILE` and `--connection-file FILE`: the service's own
// NAME=VALUE file, so that starting the service by hand is one command and the
// connection text need not pass through an environment variable.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quillor {

// Fills the options the command line left unset from the files, later files over
// earlier ones: QUILLOR_CONNECTION is --connection, QUILLOR_RELEASE --release,
// QUILLOR_LISTEN --listen, and QUILLOR_SERVE_OPTIONS holds further options, split at
// blanks. The component's own names QUILLOR_TRACE_SQL, QUILLOR_MAX_REQUEST_SIZE and
// QUILLOR_REGISTRY come back as values, for the server to hand on itself;
// QUILLOR_DATA_DIR, which the library reads for every host, and names of other
// programs (ODBCSYSINI, TZ, ...) come back as the environment the server must run
// in, as systemd's EnvironmentFile= would give it, since those read nothing else.
// Any other QUILLOR_ name is refused as a slip of the pen. A connection given on
// the command line, as --connection or --connection-file, keeps the files'
// connection out. Throws EnvFileError, CommandError, or CLI11's errors for a
// value an option refuses.
struct ServeConfigValues {
  std::map<std::string, std::string> component;    // handed to the library as values
  std::map<std::string, std::string> environment;  // the process's environment must hold them
};
ServeConfigValues ApplyServeConfig(CLI::App& command, const std::vector<std::string>& files);

// The connection text a --connection-file holds: its one line, without the line
// end. An empty file, or one of more lines, is a CommandError.
std::string ReadConnectionFile(const std::string& path);

}  // namespace quillor
