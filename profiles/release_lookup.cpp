#include "profiles/release_profile.h"

namespace quillor {

const std::vector<const ReleaseProfile*>& AllReleases() {
  static const std::vector<const ReleaseProfile*> all{&Release871(), &Release861(), &Release850()};
  return all;
}

std::vector<std::string> ReleaseNames() {
  std::vector<std::string> names;
  for (const ReleaseProfile* p : AllReleases()) names.emplace_back(p->release);
  return names;
}

const ReleaseProfile* FindRelease(std::string_view release) {
  for (const ReleaseProfile* p : AllReleases()) {
    if (p->release == release) return p;
  }
  return nullptr;
}

}  // namespace quillor
