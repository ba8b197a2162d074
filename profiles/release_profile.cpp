#include "profiles/release_profile.h"

namespace quillor {

std::string JoinPieces(const std::vector<std::string_view>& pieces) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += "\r\n";
    out += pieces[i];
  }
  return out;
}

}  // namespace quillor
