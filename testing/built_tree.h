// For tests: the release libraries and the command of this build tree, where the
// build puts them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quillor::testing {

// build/lib/<release>/libquillor.so, as the build wrote it.
inline std::string BuiltLibrary(std::string_view release) {
  return std::string(QUILLOR_BUILD_DIR) + "/lib/" + std::string(release) + "/libquillor.so";
}

// The same path with links resolved, as registration and the command write it.
inline std::string BuiltLibraryResolved(std::string_view release) {
  return std::filesystem::canonical(BuiltLibrary(release)).string();
}

// build/bin/quillor.
inline std::string BuiltCommand() { return std::string(QUILLOR_BUILD_DIR) + "/bin/quillor"; }

}  // namespace quillor::testing
