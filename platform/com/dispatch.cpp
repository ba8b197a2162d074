#include "platform/com/dispatch.h"

#include "platform/base/failure.h"

namespace quillor::com {

Variant InvokeByName(IDispatch& target, std::string_view name, std::vector<Variant>& args,
                     InvokeKind kind) {
  int32_t dispid = 0;
  HRESULT hr = target.GetIDsOfNames(name, &dispid);
  if (Failed(hr)) {
    throw Failure::FromStatus(static_cast<uint32_t>(hr),
                              "Unknown member name: " + std::string(name));
  }
  Variant result;
  ExceptionInfo exception;
  hr = target.Invoke(dispid, kind, args, &result, &exception);
  if (hr == DISP_E_EXCEPTION) throw Failure(exception.number, exception.description);
  if (Failed(hr)) {
    throw Failure::FromStatus(static_cast<uint32_t>(hr),
                              "Call of member " + std::string(name) + " failed");
  }
  return result;
}

}  // namespace quillor::com
