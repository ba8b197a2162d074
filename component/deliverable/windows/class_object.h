// The class object of IMaterial in the Windows DLLs: the real IClassFactory that
// DllGetClassObject hands out.
#pragma once

#include "platform/com/windows/windows_api.h"
#include "profiles/release_profile.h"

namespace quillor::win {

// The release's class object as the interface iid; the status of QueryInterface.
HRESULT GetMaterialClassObject(const ReleaseProfile& profile, REFIID iid, void** out);

}  // namespace quillor::win
