// For the tests of the quillor command: one command line run in this process,
// with its exit code and what it wrote, and a registry file of the test's own.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/scoped_env.h"
#include "testing/built_tree.h"
#include "testing/temp_dir.h"
#include "tools/quillor/cli.h"

namespace quillor::testing {

inline const std::string kLibrary871 = BuiltLibrary("8.71");

// A registry file of the test's own in dir, named by QUILLOR_REGISTRY while it lives.
struct OwnRegistry {
  explicit OwnRegistry(const TempDir& dir, const std::string& name = "registry")
      : path(dir.File(name)), variable("QUILLOR_REGISTRY", path.c_str()) {}
  const std::string path;
  ScopedEnv variable;
};

struct ToolRun {
  int code;
  std::string out, err;
};

// Runs `quillor ARGS` with the input on standard input.
inline ToolRun RunTool(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "quillor");
  std::istringstream in(input);
  std::ostringstream out, err;
  const int code = RunCommandLine(args, in, out, err);
  return {code, out.str(), err.str()};
}

// A file the command can be pointed at that is no library.
inline std::string WriteTextFile(const std::string& path) {
  std::ofstream(path) << "not a library\n";
  return path;
}

}  // namespace quillor::testing
