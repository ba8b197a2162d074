// The class's identity as an object: reference counting, interfaces, late-bound
// calls, and the public methods' status boundary. Each Transact call is a
// TransactCall (transact_call.h).
#include "component/material_component.h"

#include <algorithm>
#include <new>

#include "component/transact_call.h"
#include "platform/base/failure.h"
#include "platform/base/fork_guard.h"
#include "platform/base/text.h"
#include "platform/com/error_info.h"
#include "platform/xml/xml_node_list_object.h"
#include "query/query_execution.h"

namespace quillor {

namespace {

// The status a public method returns for a failure, with the failure left as the
// thread's error information.
com::HRESULT ReportFailure(const Failure& failure) {
  try {
    com::SetErrorInfo({failure.number(), failure.description()});
  } catch (...) {  // no memory left even for the description: the status says it
    return com::E_OUTOFMEMORY;
  }
  return com::DISP_E_EXCEPTION;
}

// COM identity: two references designate the same object when their IUnknown is the same.
com::IUnknown* Identity(com::IUnknown* p) {
  if (p == nullptr) return nullptr;
  com::IUnknown* unknown = nullptr;
  if (com::Failed(p->QueryInterface(com::kIID_IUnknown, reinterpret_cast<void**>(&unknown))) ||
      unknown == nullptr) {
    throw Failure(failure_numbers::kFail, "the object does not answer to IUnknown");
  }
  unknown->Release();  // only the address is compared
  return unknown;
}

}  // namespace

com::ComPtr<MaterialComponent> MaterialComponent::Create(const ReleaseProfile& profile) {
  return com::ComPtr<MaterialComponent>::Adopt(new MaterialComponent(profile));
}

MaterialComponent::MaterialComponent(const ReleaseProfile& profile)
    : profile_(profile), owner_thread_(std::this_thread::get_id()), messages_(profile) {
  ++com::LiveObjectCount();
}

MaterialComponent::~MaterialComponent() { --com::LiveObjectCount(); }

bool MaterialComponent::AnswersTo(const com::Guid& iid) const {
  if (iid == com::kIID_IDispatch) return true;
  return std::find(profile_.ids.interface_iids.begin(), profile_.ids.interface_iids.end(), iid) !=
         profile_.ids.interface_iids.end();
}

com::HRESULT MaterialComponent::GetIDsOfNames(std::string_view name, int32_t* dispid) {
  if (dispid == nullptr) return com::E_POINTER;
  for (const MethodId& m : profile_.ids.methods) {
    if (EqualsIgnoreCase(m.name, name)) {
      *dispid = m.dispid;
      return com::S_OK;
    }
  }
  return com::DISP_E_UNKNOWNNAME;
}

com::HRESULT MaterialComponent::Invoke(int32_t dispid, com::InvokeKind kind,
                                       std::vector<com::Variant>& args, com::Variant* result,
                                       com::ExceptionInfo* exception) {
  if (kind != com::InvokeKind::kMethod) return com::DISP_E_MEMBERNOTFOUND;
  std::string_view name;
  for (const MethodId& m : profile_.ids.methods) {
    if (m.dispid == dispid) name = m.name;
  }
  if (name.empty()) return com::DISP_E_MEMBERNOTFOUND;

  auto dispatch_arg = [&](size_t i) -> com::ComPtr<com::IDispatch>* {
    if (args[i].Holds<com::ComPtr<com::IDispatch>>()) {
      return &args[i].Get<com::ComPtr<com::IDispatch>>();
    }
    return nullptr;
  };
  com::HRESULT hr = com::DISP_E_TYPEMISMATCH;
  if (name == "Transact") {
    if (args.size() != 2) return com::DISP_E_BADPARAMCOUNT;
    com::ComPtr<com::IDispatch>* login = dispatch_arg(1);
    if (!args[0].Holds<std::string>() || login == nullptr) return com::DISP_E_TYPEMISMATCH;
    com::ComPtr<IOrvoLogin> typed = login->As<IOrvoLogin>(profile_.ids.login_iid);
    if (!typed) return com::DISP_E_TYPEMISMATCH;
    IOrvoLogin* raw = typed.Get();
    std::string reply;
    hr = Transact(args[0].Get<std::string>(), &raw, &reply);
    if (com::Succeeded(hr) && result) *result = com::Variant(std::move(reply));
  } else if (name == "AddObjectReference" || name == "DropObjectReference") {
    if (args.size() != 1) return com::DISP_E_BADPARAMCOUNT;
    com::ComPtr<com::IDispatch>* caller = dispatch_arg(0);
    com::IDispatch* raw = caller ? caller->Get() : nullptr;
    if (caller == nullptr && !args[0].IsEmpty() && !args[0].IsNull()) {
      return com::DISP_E_TYPEMISMATCH;
    }
    bool ok = false;
    hr = name == "AddObjectReference" ? AddObjectReference(&raw, &ok)
                                      : DropObjectReference(&raw, &ok);
    if (com::Succeeded(hr) && result) *result = com::Variant(ok);
  } else if (name == "QueryProc") {
    // The node list travels as an automation object; sRetXml is in and out.
    if (args.size() != 2) return com::DISP_E_BADPARAMCOUNT;
    com::ComPtr<com::IDispatch>* list = dispatch_arg(0);
    com::ComPtr<IXmlNodeList> typed;
    if (list != nullptr) typed = list->As<IXmlNodeList>(kIID_IXmlNodeList);
    if (!typed || !args[1].Holds<std::string>()) return com::DISP_E_TYPEMISMATCH;
    std::string text = args[1].Get<std::string>();
    bool ok = false;
    hr = QueryProc(typed->Elements(), &text, &ok);
    if (com::Succeeded(hr)) {
      args[1] = com::Variant(std::move(text));
      if (result) *result = com::Variant(ok);
    }
  }
  if (hr == com::DISP_E_EXCEPTION && exception) {
    if (auto info = com::TakeErrorInfo()) *exception = *info;
  }
  return hr;
}

com::HRESULT MaterialComponent::Transact(const std::string& sXML, IOrvoLogin** login,
                                         std::string* result) {
  return TransactWith(sXML, login, result, CallHooks{});
}

com::HRESULT MaterialComponent::TransactWith(const std::string& sXML, IOrvoLogin** login,
                                             std::string* result, const CallHooks& hooks) {
  if (!OnOwnerThread()) return com::RPC_E_WRONG_THREAD;
  if (result == nullptr) return com::E_POINTER;
  try {
    // A fork waits for the call to end: the parser's and the database's locks
    // and the connection are then in no state a child could not start from.
    const ForkGuard whole_call;
    if (login == nullptr || *login == nullptr) {
      *result =
          TransactCall::FailureReply(Failure(failure_numbers::kFail, "No login object was given."));
    } else {
      *result = TransactCall(profile_, messages_, state_, hooks).Run(sXML, **login);
    }
    return com::S_OK;
  } catch (const std::bad_alloc&) {
    return com::E_OUTOFMEMORY;
  } catch (...) {
    return ReportFailure(Failure::FromCurrentException());
  }
}

com::HRESULT MaterialComponent::QueryProc(const XmlNodeList& eleList, std::string* sRetXml,
                                          bool* result) {
  if (!OnOwnerThread()) return com::RPC_E_WRONG_THREAD;
  if (sRetXml == nullptr || result == nullptr) return com::E_POINTER;
  try {
    const ForkGuard whole_query;  // as for Transact
    // Outside a Transact call there is no connection: the query fails as the
    // host's own runtime fails on an object not set.
    const QueryContext ctx{state_.call_connection, profile_, nullptr,
                           profile_.caller_registration ? &state_.caller : nullptr};
    *result = ::quillor::QueryProc(ctx, eleList, *sRetXml);
    return com::S_OK;
  } catch (...) {
    return ReportFailure(Failure::FromCurrentException());
  }
}

com::HRESULT MaterialComponent::AddObjectReference(com::IDispatch** Caller, bool* result) {
  if (!OnOwnerThread()) return com::RPC_E_WRONG_THREAD;
  if (!profile_.caller_registration) return com::E_NOTIMPL;
  if (result == nullptr) return com::E_POINTER;
  if (Caller == nullptr) {
    *result = false;
    return com::S_OK;
  }
  state_.caller = com::ComPtr<com::IDispatch>(*Caller);  // the earlier caller is released
  *result = true;
  return com::S_OK;
}

com::HRESULT MaterialComponent::DropObjectReference(com::IDispatch** Caller, bool* result) {
  if (!OnOwnerThread()) return com::RPC_E_WRONG_THREAD;
  if (!profile_.caller_registration) return com::E_NOTIMPL;
  if (result == nullptr) return com::E_POINTER;
  // Only compares: the registered caller stays registered either way.
  try {
    *result = Identity(state_.caller.Get()) == Identity(Caller ? *Caller : nullptr);
  } catch (const Failure&) {
    *result = false;
  }
  return com::S_OK;
}

}  // namespace quillor
