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

ReleaseIdentity ClassIdentity(std::string_view libid, uint16_t typelib_major,
                              uint16_t typelib_minor, std::string_view clsid,
                              const std::vector<std::string_view>& interface_iids) {
  ReleaseIdentity ids{};
  ids.libid = com::Guid::FromString(libid);
  ids.typelib_major = typelib_major;
  ids.typelib_minor = typelib_minor;
  ids.clsid = com::Guid::FromString(clsid);
  for (std::string_view iid : interface_iids)
    ids.interface_iids.push_back(com::Guid::FromString(iid));
  return ids;
}

}  // namespace quillor
