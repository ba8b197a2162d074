#include "tools/quillor/component_session.h"

#include "platform/base/failure.h"
#include "platform/hosts/orvo_login.h"

namespace quillor {

ComponentSession ComponentSession::Open(const ReleaseProfile& profile, const std::string& library) {
  return Open(profile, com::InprocServer::Load(library));
}

ComponentSession ComponentSession::Open(const ReleaseProfile& profile, com::InprocServer server) {
  const std::string library = server.path();
  ComponentSession session(profile, std::move(server));
  com::ComPtr<com::IClassFactory> factory = session.server_.GetClassObject(profile.ids.clsid);
  const com::HRESULT hr =
      factory->CreateInstance(nullptr, profile.ids.interface_iids.front(),
                              reinterpret_cast<void**>(session.material_.Put()));
  if (com::Failed(hr) || !session.material_) {
    throw Failure::FromStatus(static_cast<uint32_t>(hr),
                              "[Quillor] cannot create MaterialComponent from " + library);
  }
  return session;
}

com::HRESULT ComponentSession::Transact(const std::string& request,
                                        const std::string& connection_text, std::string* reply,
                                        const std::atomic<bool>* stop) {
  com::ComPtr<IOrvoLogin> login = MakeLogin(connection_text, profile_.ids.login_iid, stop);
  // The parameter is in/out; whatever the callee leaves there is not ours to release.
  IOrvoLogin* passed = login.Get();
  return material_->Transact(request, &passed, reply);
}

com::HRESULT ComponentSession::RegisterCaller(com::IDispatch* caller) {
  bool kept = false;
  const com::HRESULT hr = material_->AddObjectReference(&caller, &kept);
  if (com::Succeeded(hr) && !kept) return com::E_FAIL;
  return hr;
}

}  // namespace quillor
