// The outside components that 8.71 and 8.61 use alike.
#include "profiles/shared_identifiers.h"

namespace quillor {

using com::Guid;

Guid MessageCatalogClsid() { return Guid::FromString("{56A8C9F9-ED96-4B58-815E-BEDBE54E6502}"); }

void UseSharedRecordMapper(ReleaseIdentity& ids) {
  ids.record_mapper_clsid = Guid::FromString("{DBC12D99-1A21-4C58-BDBB-FF0A9F24EF71}");
  ids.record_mapper_iid = Guid::FromString("{317D0864-1A0E-4758-8C8C-352812EBF213}");
}

}  // namespace quillor
