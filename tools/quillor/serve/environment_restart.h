// The environment a --config file names for other programs (ODBCSYSINI, TZ) and
// for the library (QUILLOR_DATA_DIR). A running process's environment is never
// changed: the driver manager, the C library and the release library read it at
// any time, from any thread, and setenv is unsafe beside them. The server starts
// itself again instead, once and before anything listens, in the environment the
// file names.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace quillor::serve {

// `current` (NAME=VALUE entries, as environ holds them) with each wanted name set
// to its value: a wanted name replaces every entry of that name, in place of its
// first one, and a new name goes at the end. Empty when `current` already holds
// every wanted value, so that the restarted server does not start again.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& current,
                                         const std::map<std::string, std::string>& wanted);

// Returns at once when the process's environment holds every wanted value;
// else replaces the process by the same command (its own executable and
// arguments) in that environment, and returns only with the reason it could
// not.
std::string RestartInEnvironment(const std::map<std::string, std::string>& wanted);

}  // namespace quillor::serve
