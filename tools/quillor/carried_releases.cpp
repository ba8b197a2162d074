#include "tools/quillor/carried_releases.h"

#include <sstream>

// The build's release list (QUILLOR_RELEASES), separated by blanks.
#ifndef QUILLOR_CARRIED_RELEASES
#error "QUILLOR_CARRIED_RELEASES must list the releases the build makes"
#endif

namespace quillor {

const std::vector<std::string>& CarriedReleases() {
  static const std::vector<std::string> releases = [] {
    std::vector<std::string> names;
    std::istringstream words(QUILLOR_CARRIED_RELEASES);
    for (std::string name; words >> name;) names.push_back(name);
    return names;
  }();
  return releases;
}

}  // namespace quillor
