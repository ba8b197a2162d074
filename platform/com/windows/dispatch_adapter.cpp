#include "platform/com/windows/dispatch_adapter.h"

#include <vector>

#include "platform/base/failure.h"
#include "platform/com/windows/variant_convert.h"
#include "platform/com/windows/wide_text.h"

namespace quillor::win {

namespace {

WORD InvokeFlags(com::InvokeKind kind) {
  switch (kind) {
    case com::InvokeKind::kPropertyGet:
      // Alone: script objects refuse a property read that may also be a call.
      return DISPATCH_PROPERTYGET;
    case com::InvokeKind::kPropertyPut:
      return DISPATCH_PROPERTYPUT;
    case com::InvokeKind::kMethod:
      break;
  }
  return DISPATCH_METHOD;
}

class Adapter final : public com::Implements<DispatchAdapter> {
 public:
  explicit Adapter(::IDispatch* target) : target_(target) {
    target_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity_.GetAddressOf()));
  }

  ::IUnknown* Identity() const override { return identity_.Get(); }
  ::IDispatch* Target() const override { return target_.Get(); }

  com::HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    if (dispid == nullptr) return com::E_POINTER;
    std::wstring wide = Widen(name);
    LPOLESTR names[] = {wide.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = target_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
      // Script objects may know their members only through IDispatchEx.
      ComPtr<IDispatchEx> ex;
      if (SUCCEEDED(target_.As(&ex))) {
        Bstr text{std::wstring_view(wide)};
        const HRESULT by_ex = ex->GetDispID(text.get(), fdexNameCaseInsensitive, &id);
        if (SUCCEEDED(by_ex)) hr = by_ex;
      }
    }
    if (FAILED(hr)) return hr;
    *dispid = id;
    return com::S_OK;
  }

  com::HRESULT Invoke(int32_t dispid, com::InvokeKind kind, std::vector<com::Variant>& args,
                      com::Variant* result, com::ExceptionInfo* exception) override {
    // Arguments go last to first. Whole numbers travel by reference, so that the
    // callee's changes come back; every other value by value.
    const size_t n = args.size();
    std::vector<VARIANT> values(n);
    std::vector<LONG> numbers(n);
    std::vector<VARIANT> passed(n);
    struct Clear {
      std::vector<VARIANT>& values;
      ~Clear() {
        for (VARIANT& v : values) VariantClear(&v);
      }
    } clear{values};
    for (size_t i = 0; i < n; ++i) {
      VARIANT& slot = passed[n - 1 - i];
      VariantInit(&slot);
      if (args[i].Holds<int32_t>()) {
        VariantInit(&values[i]);
        numbers[i] = args[i].Get<int32_t>();
        slot.vt = VT_I4 | VT_BYREF;
        slot.plVal = &numbers[i];
      } else {
        ToVariant(args[i], values[i]);
        slot = values[i];
      }
    }
    DISPPARAMS params{passed.data(), nullptr, static_cast<UINT>(n), 0};
    DISPID put = DISPID_PROPERTYPUT;
    if (kind == com::InvokeKind::kPropertyPut) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    VARIANT out;
    VariantInit(&out);
    EXCEPINFO info{};
    UINT bad_arg = 0;
    HRESULT hr = target_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, InvokeFlags(kind), &params,
                                 &out, &info, &bad_arg);
    if (hr == static_cast<HRESULT>(com::E_NOTIMPL) ||
        hr == static_cast<HRESULT>(com::DISP_E_TYPEMISMATCH) || hr == DISP_E_BADVARTYPE) {
      // An engine that takes no references (JScript) refuses them before the
      // call: the numbers go again by value, and come back as they went.
      bool by_reference = false;
      for (VARIANT& slot : passed) {
        if (slot.vt == (VT_I4 | VT_BYREF)) {
          const LONG number = *slot.plVal;
          slot.vt = VT_I4;
          slot.lVal = number;
          by_reference = true;
        }
      }
      if (by_reference) {
        hr = target_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, InvokeFlags(kind), &params,
                             &out, &info, &bad_arg);
      }
    }
    if (hr == static_cast<HRESULT>(com::DISP_E_EXCEPTION)) {
      if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
      if (exception) {
        exception->number = info.scode != 0 ? static_cast<int32_t>(info.scode) : info.wCode;
        exception->description = Narrow(info.bstrDescription);
      }
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    if (SUCCEEDED(hr)) {
      for (size_t i = 0; i < n; ++i) {
        if (args[i].Holds<int32_t>()) args[i] = com::Variant(static_cast<int32_t>(numbers[i]));
      }
      try {
        if (result) *result = FromVariant(out);
      } catch (...) {
        VariantClear(&out);
        throw;
      }
    }
    VariantClear(&out);
    return hr;
  }

 private:
  bool AnswersTo(const com::Guid& iid) const override {
    return iid == com::kIID_IDispatch || iid == kIID_DispatchAdapter;
  }

  ComPtr<::IDispatch> target_;
  ComPtr<::IUnknown> identity_;
};

}  // namespace

com::ComPtr<DispatchAdapter> WrapDispatch(::IDispatch* target) {
  if (target == nullptr) return nullptr;
  return com::ComPtr<DispatchAdapter>::Adopt(new Adapter(target));
}

}  // namespace quillor::win
