#include "profiles/release_profile.h"

namespace quillor {

namespace {

template <typename Piece>
std::string Join(const std::vector<Piece>& pieces) {
  std::string out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += "\r\n";
    out += pieces[i];
  }
  return out;
}

}  // namespace

std::string JoinPieces(const std::vector<std::string_view>& pieces) { return Join(pieces); }
std::string JoinPieces(const std::vector<std::string>& pieces) { return Join(pieces); }

}  // namespace quillor
