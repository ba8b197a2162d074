// Which server library the command loads for a release.
#pragma once

#include <optional>
#include <string>

#include "platform/com/registry.h"
#include "profiles/release_profile.h"

namespace quillor {

// The library given on the command line; else the one registered for the
// release's class, when that file exists and no other release shares the class;
// else the installed <exe_dir>/../lib/quillor/<release>/libquillor.so when it
// exists, else the build's own <exe_dir>/../lib/<release>/libquillor.so.
std::string ResolveLibrary(const ReleaseProfile& profile, const std::optional<std::string>& given,
                           const com::Registry& registry, const std::string& exe_dir);

// The directory of the running executable.
std::string ExecutableDirectory();

}  // namespace quillor
