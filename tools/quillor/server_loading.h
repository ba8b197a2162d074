// Loading a release's server library for the command, with failures that say
// which file was tried and what to do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/quillor/component_session.h"
#include "tools/quillor/library_resolution.h"

namespace quillor {

// The file a --library value names. A name without a slash is a file in the
// current folder, as a user means it, not a name searched on the library path.
std::string LibraryFile(const std::string& given);

// Loads the library for what the command asks beside the calls; a missing file
// or one that is not a server library is a CommandError naming the file.
// given: the user named it with --library.
LibraryQueries LoadServer(const std::string& library, bool given);

// Loads the library and creates the release's object through it; a library of
// another release is a CommandError that says so.
ComponentSession OpenSession(std::string_view release, const std::string& library, bool given);

// What the registry holds for a release's class, as the library carried beside
// the command for that release reads it (registry: the file, "" for the
// default): nothing when that library or the registry cannot be read.
Registration RegistrationOf(std::string_view release, const std::string& registry = {});

// A failure's description without the component's "[Quillor] " prefix, for the
// command's own lines.
std::string WithoutPrefix(std::string text);
// A status code as the command writes it: "0x" and eight hex digits.
std::string StatusText(int32_t status);

}  // namespace quillor
