// The caller's login object, as the component sees it: one text property, the
// database connection text. Our stand-in holds whatever text its creator gave it.
#pragma once

#include <atomic>
#include <string>

#include "platform/com/dispatch.h"

namespace quillor {

struct IOrvoLogin : com::IDispatch {
  virtual com::HRESULT get_ConnectionString(std::string* out) = 0;

 protected:
  ~IOrvoLogin() = default;
};

// Quillor's own addition to the login object, which the host's login objects do
// not answer to: a caller that sends long ADD requests can ask the batch to end
// before its next line. The component asks before each material line; once the
// answer is true it answers no further line and replies with the lines answered
// so far, each of whose writes was committed or rolled back whole.
struct IInterruptibleLogin : IOrvoLogin {
  virtual bool StopRequested() = 0;

 protected:
  ~IInterruptibleLogin() = default;
};

inline const com::Guid kIID_IInterruptibleLogin =
    com::Guid::FromString("{5ECE16E6-6302-4A66-A3D6-E48D87182521}");

// A login object answering to login_iid (the login interface of the caller's
// release), to IDispatch and IUnknown; ConnectionString can also be read by name.
com::ComPtr<IOrvoLogin> MakeLogin(std::string connection_text, const com::Guid& login_iid);
// The same, answering to IInterruptibleLogin too: StopRequested reads `stop`,
// which must outlive the object (a flag a signal handler may set).
com::ComPtr<IOrvoLogin> MakeLogin(std::string connection_text, const com::Guid& login_iid,
                                  const std::atomic<bool>* stop);

}  // namespace quillor
