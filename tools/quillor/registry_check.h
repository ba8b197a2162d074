// Where the registry file is, and why it could not be written, in words the
// command can print when a library's registration fails.
#pragma once

#include <string>

#include "tools/quillor/component_session.h"

namespace quillor {

// Where the registry file lives, and in which order its location is chosen.
inline constexpr const char* kRegistryLocation =
    "The registry file is $QUILLOR_REGISTRY when set, else $XDG_CONFIG_HOME/quillor/registry, "
    "else $HOME/.config/quillor/registry.";

// The registry file's path, as the loaded library finds it; a CommandError when
// none of the variables is set.
std::string RegistryPath(const LibraryQueries& library);

// Why the registry file cannot be updated (its folder cannot be made or written,
// the file or its lock cannot be read or written, or it does not read as a
// registry file), as the loaded library finds it; empty when no reason is found.
std::string RegistryProblem(const LibraryQueries& library);

}  // namespace quillor
