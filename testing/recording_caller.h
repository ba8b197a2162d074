// A registered caller for tests: an automation object whose ProcessExport keeps
// every page it is handed and may change the page number and count it is passed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/base/text.h"
#include "platform/com/dispatch.h"

namespace quillor::testing_fakes {

class RecordingCaller final : public com::IDispatch {
 public:
  struct Call {
    std::string page;
    int32_t number;
    int32_t count;
  };

  com::HRESULT QueryInterface(const com::Guid& iid, void** out) override {
    if (iid == com::kIID_IUnknown || iid == com::kIID_IDispatch) {
      *out = static_cast<com::IDispatch*>(this);
      AddRef();
      return com::S_OK;
    }
    *out = nullptr;
    return com::E_NOINTERFACE;
  }
  // Lives on the test's stack; the count only shows that references are balanced.
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override { return --refs_; }

  com::HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    if (!has_process_export || !EqualsIgnoreCase(name, "ProcessExport")) {
      return com::DISP_E_UNKNOWNNAME;
    }
    *dispid = kProcessExport;
    return com::S_OK;
  }
  com::HRESULT Invoke(int32_t dispid, com::InvokeKind, std::vector<com::Variant>& args,
                      com::Variant* result, com::ExceptionInfo* exception) override {
    if (dispid != kProcessExport) return com::DISP_E_MEMBERNOTFOUND;
    if (args.size() != 3 || !args[0].Holds<std::string>() || !args[1].Holds<int32_t>() ||
        !args[2].Holds<int32_t>()) {
      return com::DISP_E_TYPEMISMATCH;
    }
    calls.push_back({args[0].Get<std::string>(), args[1].Get<int32_t>(), args[2].Get<int32_t>()});
    if (calls.size() == fail_on_call) {
      exception->number = 1234;
      exception->description = "caller refused the page";
      return com::DISP_E_EXCEPTION;
    }
    if (change) change(calls.size(), args);
    if (result) *result = com::Variant(true);
    return com::S_OK;
  }

  std::vector<Call> calls;
  // Called after a page is recorded, with the call's number (from 1) and its arguments.
  std::function<void(size_t, std::vector<com::Variant>&)> change;
  size_t fail_on_call = 0;  // 0: never
  bool has_process_export = true;
  uint32_t refs() const { return refs_; }

 private:
  static constexpr int32_t kProcessExport = 7;
  uint32_t refs_ = 1;
};

}  // namespace quillor::testing_fakes
