// The manual page and the bash completion of the quillor command, written from
// the very command-line definition that --help prints, so the three never part.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace quillor {

// quillor.1 in roff: every subcommand with its options, the environment, the
// files, the exit status and examples.
std::string ManPage(const CLI::App& app, const std::string& version);

// A bash completion script for subcommands, their options and --release values.
std::string BashCompletion(const CLI::App& app);

}  // namespace quillor
