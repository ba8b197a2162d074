// The quillor command line: subcommands and their options.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillor {

// Exit code of a command line that could not be understood.
inline constexpr int kUsageExit = 2;

// args[0] is the program name. Returns the exit code.
int RunCommandLine(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);

}  // namespace quillor
