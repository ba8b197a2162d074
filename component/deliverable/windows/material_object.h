// The real COM object of the Windows DLLs: the _IMaterial table of functions
// with BSTR, VARIANT_BOOL, IDispatch* and IXMLDOMNodeList* at the binary
// interface, forwarding every call to the core's MaterialComponent; late-bound calls go
// through the DLL's own type library.
#pragma once

#include "platform/com/windows/windows_api.h"
#include "profiles/release_profile.h"

namespace quillor::win {

// A new object for the release with one reference, as the interface iid; the
// status of QueryInterface.
HRESULT CreateMaterialObject(const ReleaseProfile& profile, REFIID iid, void** out);

// The type information of the release's default interface, from the type library
// embedded in this DLL.
HRESULT LoadInterfaceTypeInfo(const ReleaseProfile& profile, ITypeInfo** out);

}  // namespace quillor::win
