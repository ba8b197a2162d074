// The releases whose libraries the command carries, as the build made them.
#pragma once

#include <string>
#include <vector>

namespace quillor {

// Newest first: "8.71", "8.61", "8.50". Each library tells its own release
// beside it (quillor_identity); this list is only which ones to look for.
const std::vector<std::string>& CarriedReleases();

}  // namespace quillor
