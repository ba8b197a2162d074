// A caller object for paged queries: the component hands it every completed
// result page through ProcessExport(page xml, page number, page count).
#pragma once

#include <string_view>
#include <vector>

#include "platform/com/dispatch.h"

namespace quillor {

class PageReceiver : public com::Implements<com::IDispatch> {
 public:
  com::HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override;
  // Answers ProcessExport called as a method with three arguments; anything else
  // is refused as a dispatch call to an unknown member or with the wrong count.
  com::HRESULT Invoke(int32_t dispid, com::InvokeKind kind, std::vector<com::Variant>& args,
                      com::Variant* result, com::ExceptionInfo* exception) override;

 protected:
  ~PageReceiver() override = default;
  // One ProcessExport call; args holds its three arguments.
  virtual com::HRESULT ProcessExport(std::vector<com::Variant>& args, com::Variant* result,
                                     com::ExceptionInfo* exception) = 0;

 private:
  bool AnswersTo(const com::Guid& iid) const override { return iid == com::kIID_IDispatch; }
};

}  // namespace quillor
