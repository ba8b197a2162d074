#include "profiles/release_profile.h"

namespace quillor {

const ReleaseProfile* FindRelease(std::string_view release) {
  for (const ReleaseProfile* p : {&Release871(), &Release861(), &Release850()}) {
    if (p->release == release) return p;
  }
  return nullptr;
}

}  // namespace quillor
