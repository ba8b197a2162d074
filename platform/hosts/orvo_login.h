// The caller's login object, as the component sees it: one text property, the
// database connection text. Our stand-in holds whatever text its creator gave it.
#pragma once

#include <string>

#include "platform/com/dispatch.h"

namespace quillor {

struct IOrvoLogin : com::IDispatch {
  virtual com::HRESULT get_ConnectionString(std::string* out) = 0;

 protected:
  ~IOrvoLogin() = default;
};

// A login object answering to login_iid (the login interface of the caller's
// release), to IDispatch and IUnknown; ConnectionString can also be read by name.
com::ComPtr<IOrvoLogin> MakeLogin(std::string connection_text, const com::Guid& login_iid);

}  // namespace quillor
