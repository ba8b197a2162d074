// The class object that creates instances of a class.
#pragma once

#include "platform/com/unknown.h"

namespace quillor::com {

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

}  // namespace quillor::com
