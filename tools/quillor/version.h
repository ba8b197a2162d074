// What `quillor --version` prints: the version, and each release library the
// command finds beside itself.
#pragma once

#include <string>

namespace quillor {

// "quillor VERSION" and one line per release: the library the command would load
// for it, and the release that library says it serves (or why it cannot be used).
std::string VersionText();

// The command's version and the source commit it was built from ("unknown" when
// the build did not know them).
std::string CommandVersion();
std::string SourceCommit();

}  // namespace quillor
