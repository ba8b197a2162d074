// Which server library the command loads for a release.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor {

// What the registry file holds for a release's class, as a library of that
// release reads it: the library registered there, and whether another release
// shares the class (8.61 and 8.50 do), so that the file may be the other's.
struct Registration {
  std::optional<std::string> library;
  bool shared_class = false;
};

// The library carried beside the command for a release: the installed
// <exe_dir>/../lib/quillor/<release>/libquillor.so when it exists, else the
// build's own <exe_dir>/../lib/<release>/libquillor.so.
std::string CarriedLibrary(std::string_view release, const std::string& exe_dir);

// The library given on the command line; else the one registered for the
// release's class, when that file exists and no other release shares the class;
// else the carried one.
std::string ResolveLibrary(std::string_view release, const std::optional<std::string>& given,
                           const Registration& registration, const std::string& exe_dir);

// The directory of the running executable.
std::string ExecutableDirectory();

}  // namespace quillor
