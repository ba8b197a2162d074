// Registration of one release in the Windows registry (HKEY_CLASSES_ROOT): the
// same keys and values that the Linux build writes into its registry file,
// decided by the same code (component/registration), written here.
#pragma once

#include <string>

#include "platform/com/windows/windows_api.h"
#include "profiles/release_profile.h"

namespace quillor::win {

HRESULT RegisterInSystemRegistry(const ReleaseProfile& profile, const std::string& library_path);
// Removes what registration wrote and nothing else, by the same rules as the
// Linux build: a key another release's library holds now stays.
HRESULT UnregisterFromSystemRegistry(const ReleaseProfile& profile,
                                     const std::string& library_path);

}  // namespace quillor::win
