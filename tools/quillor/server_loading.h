// Loading a release's server library for the command, with failures that say
// which file was tried and what to do.
#pragma once

#include <optional>
#include <string>

#include "platform/com/inproc_server.h"
#include "profiles/release_profile.h"
#include "tools/quillor/component_session.h"

namespace quillor {

// The file a --library value names. A name without a slash is a file in the
// current folder, as a user means it, not a name searched on the library path.
std::string LibraryFile(const std::string& given);

// Loads the library; a missing file or one that is not a server library is a
// CommandError naming the file. given: the user named it with --library.
com::InprocServer LoadServer(const std::string& library, bool given);

// Loads the library and creates the release's object through it; a library of
// another release is a CommandError that says so.
ComponentSession OpenSession(const ReleaseProfile& profile, const std::string& library, bool given);

// A failure's description without the component's "[Quillor] " prefix, for the
// command's own lines.
std::string WithoutPrefix(std::string text);
// A status code as the command writes it: "0x" and eight hex digits.
std::string StatusText(com::HRESULT hr);

// The release a loaded library says it serves, when it says.
std::optional<std::string> ReleaseOfServer(const com::InprocServer& server);

}  // namespace quillor
