// IMaterial, the component's one creatable class. Transact takes one request as
// XML text with the caller's login object and returns one reply as XML text;
// every problem is reported inside the reply.
//
// Apartment model: an object belongs to the thread that created it, and a call
// from any other thread is refused with RPC_E_WRONG_THREAD instead of running.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "component/imaterial_interface.h"
#include "component/message_lookup.h"
#include "platform/base/failure.h"
#include "platform/db/database.h"
#include "platform/xml/xml.h"
#include "profiles/release_profile.h"

namespace quillor {

// The material elements of an ADD request: selected from the whole document, or
// read from the request's text one at a time, so that the batch holds one line,
// never the request's tree.
class MaterialSource {
 public:
  explicit MaterialSource(const XmlNodeList& list) : list_(&list) {}
  explicit MaterialSource(std::string_view text) : text_(text) {}
  void ForEach(const std::function<void(XmlElement)>& each) const;

 private:
  const XmlNodeList* list_ = nullptr;
  std::string_view text_;
};

class IMaterial final : public com::Implements<_IMaterial> {
 public:
  // A new object with one reference, owned by the caller.
  static com::ComPtr<IMaterial> Create(const ReleaseProfile& profile);

  // IDispatch: the release's methods by name and dispatch ID.
  com::HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override;
  com::HRESULT Invoke(int32_t dispid, com::InvokeKind kind, std::vector<com::Variant>& args,
                      com::Variant* result, com::ExceptionInfo* exception) override;

  // _IMaterial: the methods and their parameters keep the names callers see.
  com::HRESULT Transact(const std::string& sXML, IOrvoLogin** login, std::string* result) override;
  com::HRESULT QueryProc(const XmlNodeList& eleList, std::string* sRetXml, bool* result) override;
  com::HRESULT AddObjectReference(com::IDispatch** Caller, bool* result) override;
  com::HRESULT DropObjectReference(com::IDispatch** Caller, bool* result) override;

  const ReleaseProfile& profile() const { return profile_; }
  int16_t cost_object_mode() const { return cost_object_mode_; }

 private:
  explicit IMaterial(const ReleaseProfile& profile);
  ~IMaterial() override;

  // IUnknown: IDispatch and the release's interfaces.
  bool AnswersTo(const com::Guid& iid) const override;

  bool OnOwnerThread() const { return std::this_thread::get_id() == owner_thread_; }
  // The envelope: connection, parse, dispatch. Throws only when the failure
  // reply itself cannot be built.
  std::string TransactRequest(const std::string& request_text, IOrvoLogin& login);
  std::string BuildFailureReply(const Failure& failure);
  bool QueryProcRequest(const XmlNodeList& fields, std::string& reply);

  // The class's own operations.
  bool AddProc(const MaterialSource& list, std::string& reply);
  void AddItem(XmlElement element);
  void LoadOptions();

  const ReleaseProfile& profile_;
  const std::thread::id owner_thread_;

  // The state of the call in progress, and what outlives it: the cost-object
  // mode of the last options read, the last element's cost object, and the
  // registered caller.
  XmlDocument result_doc_;
  std::unique_ptr<Connection> conn_;
  int16_t cost_object_mode_ = 0;  // cost_object_modes::kByProduct
  std::string cost_object_id_;
  com::ComPtr<com::IDispatch> caller_;
  MessageLookup messages_;  // creates the catalogue at its first lookup
};

}  // namespace quillor
