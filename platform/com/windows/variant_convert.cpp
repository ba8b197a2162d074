#include "platform/com/windows/variant_convert.h"

#include "platform/base/failure.h"
#include "platform/com/windows/dispatch_adapter.h"
#include "platform/com/windows/wide_text.h"

namespace quillor::win {

com::Variant FromVariant(const VARIANT& value) {
  const VARIANT* v = &value;
  while (v->vt == (VT_VARIANT | VT_BYREF) && v->pvarVal != nullptr) v = v->pvarVal;
  switch (v->vt) {
    case VT_EMPTY:
      return com::Variant();
    case VT_NULL:
      return com::Variant::MakeNull();
    case VT_BOOL:
      return com::Variant(v->boolVal != VARIANT_FALSE);
    case VT_BOOL | VT_BYREF:
      return com::Variant(*v->pboolVal != VARIANT_FALSE);
    case VT_I4:
      return com::Variant(static_cast<int32_t>(v->lVal));
    case VT_I4 | VT_BYREF:
      return com::Variant(static_cast<int32_t>(*v->plVal));
    case VT_I2:
      return com::Variant(static_cast<int32_t>(v->iVal));
    case VT_R8:
      return com::Variant(v->dblVal);
    case VT_R8 | VT_BYREF:
      return com::Variant(*v->pdblVal);
    case VT_BSTR:
      return com::Variant(Narrow(v->bstrVal));
    case VT_BSTR | VT_BYREF:
      return com::Variant(Narrow(*v->pbstrVal));
    case VT_DISPATCH:
      return com::Variant(com::ComPtr<com::IDispatch>(WrapDispatch(v->pdispVal).Get()));
    case VT_DISPATCH | VT_BYREF:
      return com::Variant(com::ComPtr<com::IDispatch>(WrapDispatch(*v->ppdispVal).Get()));
    default: {
      VARIANT text;
      VariantInit(&text);
      if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(v), 0, VT_BSTR)))
        throw Failure::TypeMismatch();
      com::Variant out(Narrow(text.bstrVal));
      VariantClear(&text);
      return out;
    }
  }
}

void ToVariant(const com::Variant& value, VARIANT& out) {
  VariantInit(&out);
  const com::Variant::Value& v = value.value();
  if (std::holds_alternative<com::Variant::Null>(v)) {
    out.vt = VT_NULL;
  } else if (const bool* b = std::get_if<bool>(&v)) {
    out.vt = VT_BOOL;
    out.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (const int32_t* i = std::get_if<int32_t>(&v)) {
    out.vt = VT_I4;
    out.lVal = *i;
  } else if (const double* d = std::get_if<double>(&v)) {
    out.vt = VT_R8;
    out.dblVal = *d;
  } else if (const std::string* s = std::get_if<std::string>(&v)) {
    out.bstrVal = Bstr(*s).release();
    out.vt = VT_BSTR;
  } else if (const auto* p = std::get_if<com::ComPtr<com::IDispatch>>(&v)) {
    // Only a wrapper of a caller's object can cross back.
    const com::ComPtr<DispatchAdapter> adapter = p->As<DispatchAdapter>(kIID_DispatchAdapter);
    ::IDispatch* target = adapter ? adapter->Target() : nullptr;
    if (target) target->AddRef();
    out.vt = VT_DISPATCH;
    out.pdispVal = target;
  }
}

}  // namespace quillor::win
