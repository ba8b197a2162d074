#include "component/deliverable/windows/material_object.h"

#include <algorithm>
#include <new>
#include <vector>

#include "component/deliverable/windows/login_adapter.h"
#include "component/material_component.h"
#include "platform/base/failure.h"
#include "platform/base/module_directory.h"
#include "platform/com/class_object_support.h"
#include "platform/com/error_info.h"
#include "platform/com/windows/dispatch_adapter.h"
#include "platform/com/windows/wide_text.h"
#include "platform/xml/msxml/msxml_nodes.h"
// The table of functions as widl writes it from the 8.71 type library; the
// earlier releases' interfaces are its first two slots.
#include "quillor_871.h"

namespace quillor::win {

namespace {

GUID ToGuid(const com::Guid& g) {
  GUID out;
  out.Data1 = g.data1;
  out.Data2 = g.data2;
  out.Data3 = g.data3;
  std::copy(g.data4.begin(), g.data4.end(), out.Data4);
  return out;
}

com::Guid FromGuid(REFIID g) {
  com::Guid out;
  out.data1 = g.Data1;
  out.data2 = g.Data2;
  out.data3 = g.Data3;
  std::copy(std::begin(g.Data4), std::end(g.Data4), out.data4.begin());
  return out;
}

// A failure number as the status a COM caller sees: a status code as it is, an
// automation error number in the facility of automation errors (94 is 0x800A005E).
HRESULT StatusOf(int32_t number) {
  if (number < 0) return number;
  return static_cast<HRESULT>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}

class MaterialObject final : public ::_IMaterial, public ISupportErrorInfo {
 public:
  explicit MaterialObject(const ReleaseProfile& profile)
      : profile_(profile), core_(MaterialComponent::Create(profile)) {
    ++com::LiveObjectCount();
    LoadInterfaceTypeInfo(profile, type_info_.GetAddressOf());
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return com::E_POINTER;
    *out = nullptr;
    const com::Guid id = FromGuid(iid);
    const auto& iids = profile_.ids.interface_iids;
    if (iid == IID_IUnknown || iid == IID_IDispatch ||
        std::find(iids.begin(), iids.end(), id) != iids.end()) {
      *out = static_cast<::_IMaterial*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      return com::E_NOINTERFACE;
    }
    AddRef();
    return com::S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.Increment(); }
  ULONG STDMETHODCALLTYPE Release() override {
    return refs_.Release([this] { delete this; });
  }

  // IDispatch, through the type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return com::E_POINTER;
    *count = type_info_ ? 1 : 0;
    return com::S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (out == nullptr) return com::E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!type_info_) return TYPE_E_ELEMENTNOTFOUND;
    type_info_->AddRef();
    *out = type_info_.Get();
    return com::S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!type_info_) return com::E_FAIL;
    return DispGetIDsOfNames(type_info_.Get(), names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* bad_argument) override {
    if (!type_info_) return com::E_FAIL;
    // VBScript passes a variable as a reference to a VARIANT; the type library
    // asks for an object or a text by reference. The reference is narrowed to the
    // value inside, so that what the method writes lands in the caller's variable.
    std::vector<VARIANT> args;
    DISPPARAMS narrowed{};
    if (params != nullptr) {
      narrowed = *params;
      args.assign(params->rgvarg, params->rgvarg + params->cArgs);
      for (VARIANT& arg : args) {
        if (arg.vt != (VT_VARIANT | VT_BYREF) || arg.pvarVal == nullptr) continue;
        VARIANT* inner = arg.pvarVal;
        if (inner->vt == VT_DISPATCH) {
          arg.vt = VT_DISPATCH | VT_BYREF;
          arg.ppdispVal = &inner->pdispVal;
        } else if (inner->vt == VT_BSTR) {
          arg.vt = VT_BSTR | VT_BYREF;
          arg.pbstrVal = &inner->bstrVal;
        }
      }
      narrowed.rgvarg = args.data();
    }
    return DispInvoke(static_cast<::_IMaterial*>(this), type_info_.Get(), id, flags,
                      params != nullptr ? &narrowed : nullptr, result, exception, bad_argument);
  }

  // ISupportErrorInfo: every failing method leaves its error information.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    const auto& iids = profile_.ids.interface_iids;
    return std::find(iids.begin(), iids.end(), FromGuid(iid)) != iids.end() ? com::S_OK
                                                                            : com::S_FALSE;
  }

  // _IMaterial
  HRESULT STDMETHODCALLTYPE Transact(BSTR sXML, ::IDispatch** login, BSTR* result) override {
    if (result == nullptr) return com::E_POINTER;
    *result = nullptr;
    return Guarded([&]() -> com::HRESULT {
      com::ComPtr<IOrvoLogin> adapter = WrapLogin(login != nullptr ? *login : nullptr);
      IOrvoLogin* raw = adapter.Get();
      std::string reply;
      const com::HRESULT hr = core_->Transact(Narrow(sXML), &raw, &reply);
      if (com::Succeeded(hr)) *result = Bstr(reply).release();
      return hr;
    });
  }

  HRESULT STDMETHODCALLTYPE QueryProc(IXMLDOMNodeList* eleList, BSTR* sRetXml,
                                      VARIANT_BOOL* result) override {
    if (sRetXml == nullptr || result == nullptr) return com::E_POINTER;
    return Guarded([&]() -> com::HRESULT {
      ForeignNodes nodes;
      XmlNodeList elements;
      if (eleList != nullptr) {
        long count = 0;
        msxml::Check(eleList->get_length(&count), "The node list could not be read");
        for (long i = 0; i < count; ++i) {
          ComPtr<IXMLDOMNode> node;
          msxml::Check(eleList->get_item(i, node.GetAddressOf()),
                       "The node list could not be read");
          if (node && msxml::TypeOf(node.Get()) == NODE_ELEMENT) {
            elements.push_back(nodes.Wrap(node.Get()));
          }
        }
      }
      std::string text = Narrow(*sRetXml);
      bool ok = false;
      const com::HRESULT hr = core_->QueryProc(elements, &text, &ok);
      if (com::Succeeded(hr)) {
        Bstr reply(text);
        SysFreeString(*sRetXml);
        *sRetXml = reply.release();
        *result = ok ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return hr;
    });
  }

  HRESULT STDMETHODCALLTYPE AddObjectReference(::IDispatch** Caller,
                                               VARIANT_BOOL* result) override {
    if (result == nullptr) return com::E_POINTER;
    return Guarded([&]() -> com::HRESULT {
      com::ComPtr<DispatchAdapter> caller = WrapDispatch(Caller != nullptr ? *Caller : nullptr);
      com::IDispatch* raw = caller.Get();
      bool ok = false;
      const com::HRESULT hr = core_->AddObjectReference(&raw, &ok);
      if (com::Succeeded(hr)) {
        if (ok) registered_ = caller;
        *result = ok ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return hr;
    });
  }

  HRESULT STDMETHODCALLTYPE DropObjectReference(::IDispatch** Caller,
                                                VARIANT_BOOL* result) override {
    if (result == nullptr) return com::E_POINTER;
    return Guarded([&]() -> com::HRESULT {
      // The registered caller's own wrapper stands for the same object, so that
      // the core's identity test sees one object where the caller passes one.
      ::IDispatch* given = Caller != nullptr ? *Caller : nullptr;
      com::ComPtr<DispatchAdapter> caller;
      if (given != nullptr) {
        ComPtr<IUnknown> identity;
        given->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf()));
        caller = registered_ && registered_->Identity() == identity.Get() ? registered_
                                                                          : WrapDispatch(given);
      }
      com::IDispatch* raw = caller.Get();
      bool ok = false;
      const com::HRESULT hr = core_->DropObjectReference(&raw, &ok);
      if (com::Succeeded(hr)) *result = ok ? VARIANT_TRUE : VARIANT_FALSE;
      return hr;
    });
  }

 private:
  ~MaterialObject() { --com::LiveObjectCount(); }

  // Runs a call: nothing escapes, and a failing call leaves its error
  // information for the caller (the script engine's message, the number).
  template <class Call>
  HRESULT Guarded(Call call) {
    com::HRESULT hr = com::E_FAIL;
    std::optional<com::ExceptionInfo> info;
    try {
      hr = call();
      if (com::Failed(hr)) info = com::TakeErrorInfo();
    } catch (const std::bad_alloc&) {
      return com::E_OUTOFMEMORY;
    } catch (...) {
      const Failure failure = Failure::FromCurrentException();
      info = com::ExceptionInfo{failure.number(), failure.description()};
      hr = com::DISP_E_EXCEPTION;
    }
    if (com::Succeeded(hr)) return hr;
    if (hr == com::DISP_E_EXCEPTION && info) hr = StatusOf(info->number);
    SetError(hr, info ? info->description : std::string());
    return hr;
  }

  void SetError(HRESULT hr, const std::string& description) {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.GetAddressOf()))) return;
    const GUID iid = ToGuid(profile_.ids.interface_iids.front());
    create->SetGUID(iid);
    Bstr source(std::string_view("Quillor.IMaterial"));
    create->SetSource(source.get());
    Bstr text(description.empty() ? std::string("Quillor call failed (status ") +
                                        std::to_string(static_cast<uint32_t>(hr)) + ")"
                                  : description);
    create->SetDescription(text.get());
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) ::SetErrorInfo(0, info.Get());
  }

  const ReleaseProfile& profile_;
  com::ComPtr<MaterialComponent> core_;
  ComPtr<ITypeInfo> type_info_;
  com::ComPtr<DispatchAdapter> registered_;
  com::RefCount refs_;
};

}  // namespace

HRESULT LoadInterfaceTypeInfo(const ReleaseProfile& profile, ITypeInfo** out) {
  *out = nullptr;
  std::wstring path = ModulePath().wstring();
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.GetAddressOf());
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(ToGuid(profile.ids.interface_iids.front()), out);
}

HRESULT CreateMaterialObject(const ReleaseProfile& profile, REFIID iid, void** out) {
  return com::HandOutNew([&profile] { return new MaterialObject(profile); }, iid, out);
}

}  // namespace quillor::win
