// The automation interface: members called by dispatch ID, or by name through
// GetIDsOfNames first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/com/variant.h"

namespace quillor::com {

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut };

// What a member that failed reports about itself (DISP_E_EXCEPTION).
struct ExceptionInfo {
  int32_t number = 0;
  std::string description;
};

struct IDispatch : IUnknown {
  virtual HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) = 0;
  // args are in the member's parameter order. Every argument is passed by
  // reference: a member may change it, and the caller sees the change.
  virtual HRESULT Invoke(int32_t dispid, InvokeKind kind, std::vector<Variant>& args,
                         Variant* result, ExceptionInfo* exception) = 0;

 protected:
  ~IDispatch() = default;
};

// Calls a member by name: GetIDsOfNames, then Invoke. A member that raised an
// exception comes back as a quillor::Failure with its number and description; any
// other failing status as a Failure with that status.
Variant InvokeByName(IDispatch& target, std::string_view name, std::vector<Variant>& args,
                     InvokeKind kind = InvokeKind::kMethod);

}  // namespace quillor::com
