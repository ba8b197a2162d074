// The class that 8.61 and 8.50 register alike.
#include "profiles/shared_identifiers.h"

namespace quillor {

using com::Guid;

ReleaseIdentity ClassIdentity861() {
  ReleaseIdentity ids = ClassIdentity("{A13D57A3-5E85-4DB6-8878-DE7C5A3B0A8D}", 1, 0,
                                      "{BF180A4F-7856-4DA7-8B5A-FCB8AA5B9F9E}",
                                      {"{C24B7A92-CBE4-480A-AEBC-44794F84CCAF}"});
  ids.interface_names = {"_IMaterial"};
  ids.methods = {{"Transact", 0x60030000}, {"QueryProc", 0x60030005}};
  ids.eai_helper_clsid = Guid::FromString("{8E95C720-F40C-473B-BFD4-8428B0498982}");
  ids.class_shared = true;
  return ids;
}

}  // namespace quillor
