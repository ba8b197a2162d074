// A caller's automation object (a real IDispatch) as the component's own
// dispatch interface, so that the core can call it by name: the login object's
// ConnectionString, the registered caller's ProcessExport.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/windows/windows_api.h"

namespace quillor::win {

class DispatchAdapter;

// The object behind target, or null for a null target. Names are found with
// GetIDsOfNames, else with IDispatchEx::GetDispID (script objects that know their
// members only that way).
com::ComPtr<DispatchAdapter> WrapDispatch(::IDispatch* target);

// What a wrapper answers to, so that it can be told from the component's own objects.
inline const com::Guid kIID_DispatchAdapter =
    com::Guid::FromString("{5A0F3C1E-8B2D-4E67-9C41-2D7E6B90A3F8}");

class DispatchAdapter : public com::IDispatch {
 public:
  // The wrapped object's COM identity (its IUnknown), to tell two wrappers of
  // one object from wrappers of two.
  virtual ::IUnknown* Identity() const = 0;
  virtual ::IDispatch* Target() const = 0;

 protected:
  ~DispatchAdapter() = default;
};

}  // namespace quillor::win
