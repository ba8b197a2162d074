// MaterialComponent, the component's one creatable class, registered as the COM
// class IMaterial (ProgID Quillor.IMaterial). Transact takes one request as
// XML text with the caller's login object and returns one reply as XML text;
// every problem is reported inside the reply.
//
// Apartment model: an object belongs to the thread that created it, and a call
// from any other thread is refused with RPC_E_WRONG_THREAD instead of running.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "component/call_hooks.h"
#include "component/material_interface.h"
#include "component/material_state.h"
#include "component/release_message_texts.h"
#include "platform/xml/xml.h"
#include "profiles/release_profile.h"

namespace quillor {

class MaterialComponent final : public com::Implements<MaterialInterface> {
 public:
  // A new object with one reference, owned by the caller.
  static com::ComPtr<MaterialComponent> Create(const ReleaseProfile& profile);

  // IDispatch: the release's methods by name and dispatch ID.
  com::HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override;
  com::HRESULT Invoke(int32_t dispid, com::InvokeKind kind, std::vector<com::Variant>& args,
                      com::Variant* result, com::ExceptionInfo* exception) override;

  // MaterialInterface: the methods and their parameters keep the names callers see.
  com::HRESULT Transact(const std::string& sXML, IOrvoLogin** login, std::string* result) override;
  com::HRESULT QueryProc(const XmlNodeList& eleList, std::string* sRetXml, bool* result) override;
  com::HRESULT AddObjectReference(com::IDispatch** Caller, bool* result) override;
  com::HRESULT DropObjectReference(com::IDispatch** Caller, bool* result) override;

  // Transact for a host of the C interface: the call's stop flag, trace receiver
  // and item receiver come with it; a COM host has no stop, and its trace comes
  // from the environment.
  com::HRESULT TransactWith(const std::string& sXML, IOrvoLogin** login, std::string* result,
                            const CallHooks& hooks);

  const ReleaseProfile& profile() const { return profile_; }
  int16_t cost_object_mode() const { return state_.cost_object_mode; }

 private:
  explicit MaterialComponent(const ReleaseProfile& profile);
  ~MaterialComponent() override;

  // IUnknown: IDispatch and the release's interfaces.
  bool AnswersTo(const com::Guid& iid) const override;

  bool OnOwnerThread() const { return std::this_thread::get_id() == owner_thread_; }

  const ReleaseProfile& profile_;
  const std::thread::id owner_thread_;
  MaterialState state_;           // what outlives a call; each call is a TransactCall
  ReleaseMessageTexts messages_;  // creates the catalogue at its first lookup
};

}  // namespace quillor
