// Identifiers that more than one release registers or uses. Each group is a file
// of its own, so that a library holds only the identifiers of its own release.
#pragma once

#include "profiles/release_profile.h"

namespace quillor {

// 8.61 and 8.50 register the same class: its type library, class, interface and
// methods, and the helper's class.
ReleaseIdentity ClassIdentity861();

// 8.71 and 8.61 use the same message catalogue class and record mapper.
com::Guid MessageCatalogClsid();
void UseSharedRecordMapper(ReleaseIdentity& ids);

}  // namespace quillor
