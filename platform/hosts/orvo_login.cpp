#include "platform/hosts/orvo_login.h"

#include <new>

#include "platform/base/text.h"

namespace quillor {

namespace {

using com::HRESULT;

// The dispatch ID of the one property, as the login component's type library numbers it.
constexpr int32_t kConnectionStringDispid = 0x68030000;

class Login final : public com::Implements<IOrvoLogin> {
 public:
  Login(std::string text, const com::Guid& iid) : text_(std::move(text)), iid_(iid) {
    ++com::LiveObjectCount();
  }

  HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    if (!dispid) return com::E_POINTER;
    // Member names are matched without regard to case, as late-bound callers expect.
    if (EqualsIgnoreCase(name, "ConnectionString")) {
      *dispid = kConnectionStringDispid;
      return com::S_OK;
    }
    return com::DISP_E_UNKNOWNNAME;
  }

  HRESULT Invoke(int32_t dispid, com::InvokeKind kind, std::vector<com::Variant>& args,
                 com::Variant* result, com::ExceptionInfo*) override {
    if (dispid != kConnectionStringDispid) return com::DISP_E_MEMBERNOTFOUND;
    // The property is read-only; a property read may also arrive as a method call.
    if (kind == com::InvokeKind::kPropertyPut) return com::DISP_E_MEMBERNOTFOUND;
    if (!args.empty()) return com::DISP_E_BADPARAMCOUNT;
    if (result) *result = com::Variant(text_);
    return com::S_OK;
  }

  HRESULT get_ConnectionString(std::string* out) override {
    if (!out) return com::E_POINTER;
    *out = text_;
    return com::S_OK;
  }

 private:
  bool AnswersTo(const com::Guid& iid) const override {
    return iid == iid_ || iid == com::kIID_IDispatch;
  }
  ~Login() { --com::LiveObjectCount(); }

  const std::string text_;
  const com::Guid iid_;
};

}  // namespace

com::ComPtr<IOrvoLogin> MakeLogin(std::string connection_text, const com::Guid& login_iid) {
  return com::ComPtr<IOrvoLogin>::Adopt(new Login(std::move(connection_text), login_iid));
}

}  // namespace quillor
