// One Transact call: it owns what lives for the call alone (the connection, the
// reply document) and reads the connection text once. Built and run by
// MaterialComponent::Transact; the object's lasting state is lent to it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "component/call_hooks.h"
#include "component/material_state.h"
#include "component/release_message_texts.h"
#include "component/request_envelope.h"
#include "platform/base/failure.h"
#include "platform/db/database.h"
#include "platform/hosts/orvo_login.h"
#include "platform/xml/xml.h"
#include "profiles/release_profile.h"

namespace quillor {

// The material elements of an ADD request, read from the request's text one at
// a time, so that the batch holds one line, never the request's tree.
class MaterialSource {
 public:
  explicit MaterialSource(std::string_view text) : text_(text) {}
  void ForEach(const std::function<void(XmlElement)>& each) const;

 private:
  std::string_view text_;
};

class TransactCall {
 public:
  TransactCall(const ReleaseProfile& profile, const ReleaseMessageTexts& messages,
               MaterialState& state, const CallHooks& hooks)
      : profile_(profile), messages_(messages), state_(state), hooks_(hooks) {}
  TransactCall(const TransactCall&) = delete;
  TransactCall& operator=(const TransactCall&) = delete;

  // The reply to the request; every failure on the way ends in a reply. The
  // connection is let go of before it returns. Throws only when the failure
  // reply itself cannot be built.
  std::string Run(const std::string& request_text, IOrvoLogin& login);

  // The reply a failure gives.
  static std::string FailureReply(const Failure& failure);

 private:
  std::string Dispatch(const std::string& request_text, IOrvoLogin& login);
  bool AddProc(const MaterialSource& list, std::string& reply);
  void AddItem(XmlElement element);
  bool StopRequested();
  // The reply of a call that answers no line, told to the item receiver too.
  std::string Unanswered(int32_t code, const std::string& message, const std::string& state = {});
  void Tell(std::string_view id, int32_t code, std::string_view message,
            std::string_view reason = {});

  const ReleaseProfile& profile_;
  const ReleaseMessageTexts& messages_;
  MaterialState& state_;
  const CallHooks& hooks_;
  // The request's root as read once, before anything else reads the request.
  RequestEnvelope envelope_;
  XmlDocument result_doc_;
  std::unique_ptr<Connection> conn_;
};

}  // namespace quillor
