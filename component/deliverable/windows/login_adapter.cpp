#include "component/deliverable/windows/login_adapter.h"

#include <vector>

#include "platform/base/failure.h"
#include "platform/com/error_info.h"
#include "platform/com/windows/dispatch_adapter.h"

namespace quillor::win {

namespace {

class Login final : public com::Implements<IOrvoLogin> {
 public:
  explicit Login(com::ComPtr<DispatchAdapter> target) : target_(std::move(target)) {}

  com::HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    return target_->GetIDsOfNames(name, dispid);
  }
  com::HRESULT Invoke(int32_t dispid, com::InvokeKind kind, std::vector<com::Variant>& args,
                      com::Variant* result, com::ExceptionInfo* exception) override {
    return target_->Invoke(dispid, kind, args, result, exception);
  }

  com::HRESULT get_ConnectionString(std::string* out) override {
    if (out == nullptr) return com::E_POINTER;
    std::vector<com::Variant> none;
    // A failure (no such member, or the member failed) comes back as the
    // status with the thread's error information, as a property read reports it.
    try {
      const com::Variant value =
          com::InvokeByName(*target_, "ConnectionString", none, com::InvokeKind::kPropertyGet);
      if (value.Holds<std::string>()) {
        *out = value.Get<std::string>();
      } else if (value.IsEmpty() || value.IsNull()) {
        out->clear();
      } else {
        throw Failure::TypeMismatch();
      }
      return com::S_OK;
    } catch (const Failure& failure) {
      com::SetErrorInfo({failure.number(), failure.description()});
      return com::DISP_E_EXCEPTION;
    }
  }

 private:
  bool AnswersTo(const com::Guid& iid) const override { return iid == com::kIID_IDispatch; }

  com::ComPtr<DispatchAdapter> target_;
};

}  // namespace

com::ComPtr<IOrvoLogin> WrapLogin(::IDispatch* login) {
  if (login == nullptr) return nullptr;
  return com::ComPtr<IOrvoLogin>::Adopt(new Login(WrapDispatch(login)));
}

}  // namespace quillor::win
