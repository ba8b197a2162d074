// The login object a COM caller passes, as the component reads it:
// ConnectionString, a property read by name.
#pragma once

#include "platform/com/windows/windows_api.h"
#include "platform/hosts/orvo_login.h"

namespace quillor::win {

// Null for a null login.
com::ComPtr<IOrvoLogin> WrapLogin(::IDispatch* login);

}  // namespace quillor::win
