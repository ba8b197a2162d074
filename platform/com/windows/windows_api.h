// The Windows and COM headers, for the code at the Windows edge. The system
// headers define the common status codes as macros, which would stand in for
// the component's own constants of the same names (com::S_OK, ...): those macros
// are taken back here, so the edge uses the component's constants, which carry
// the same values, and project headers may come before or after this one.
#pragma once

#include <windows.h>
// windows.h, once included, decides how the rest are declared.
#include <dispex.h>
#include <msxml2.h>
#include <ole2.h>
#include <oleauto.h>
#include <wrl/client.h>

#undef S_OK
#undef S_FALSE
#undef E_NOTIMPL
#undef E_NOINTERFACE
#undef E_POINTER
#undef E_FAIL
#undef E_INVALIDARG
#undef E_OUTOFMEMORY
#undef CLASS_E_NOAGGREGATION
#undef CLASS_E_CLASSNOTAVAILABLE
#undef REGDB_E_CLASSNOTREG
#undef SELFREG_E_CLASS
#undef DISP_E_UNKNOWNNAME
#undef DISP_E_MEMBERNOTFOUND
#undef DISP_E_BADPARAMCOUNT
#undef DISP_E_TYPEMISMATCH
#undef DISP_E_EXCEPTION
#undef RPC_E_WRONG_THREAD

namespace quillor::win {
using Microsoft::WRL::ComPtr;
}  // namespace quillor::win
