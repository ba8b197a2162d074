#include "tools/quillor/page_receiver.h"

#include "platform/base/text.h"

namespace quillor {
namespace {

constexpr int32_t kProcessExportDispid = 1;

}  // namespace

com::HRESULT PageReceiver::GetIDsOfNames(std::string_view name, int32_t* dispid) {
  if (!dispid) return com::E_POINTER;
  if (EqualsIgnoreCase(name, "ProcessExport")) {
    *dispid = kProcessExportDispid;
    return com::S_OK;
  }
  return com::DISP_E_UNKNOWNNAME;
}

com::HRESULT PageReceiver::Invoke(int32_t dispid, com::InvokeKind kind,
                                  std::vector<com::Variant>& args, com::Variant* result,
                                  com::ExceptionInfo* exception) {
  if (dispid != kProcessExportDispid || kind != com::InvokeKind::kMethod) {
    return com::DISP_E_MEMBERNOTFOUND;
  }
  if (args.size() != 3) return com::DISP_E_BADPARAMCOUNT;
  return ProcessExport(args, result, exception);
}

}  // namespace quillor
