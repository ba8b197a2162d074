// The C interface of include/quillor/quillor.h over one release's MaterialComponent.
// Compiled once per deliverable, with QUILLOR_RELEASE_FUNCTION naming that
// release's profile, as the COM exports are.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "component/call_hooks.h"
#include "component/deliverable/call_facts.h"
#include "component/deliverable/guarded_call.h"
#include "component/deliverable/text_out.h"
#include "component/material_component.h"
#include "component/request_bound.h"
#include "platform/base/failure.h"
#include "platform/base/freed_memory.h"
#include "platform/base/text.h"
#include "platform/db/connection_pool.h"
#include "platform/hosts/orvo_login.h"
#include "profiles/release_profile.h"
#include "query/page_size.h"
#include "quillor/quillor.h"

#ifndef QUILLOR_RELEASE_FUNCTION
#error "QUILLOR_RELEASE_FUNCTION must name the release profile of this deliverable"
#endif

namespace {

using quillor::com::HRESULT;

const quillor::ReleaseProfile& Profile() { return quillor::QUILLOR_RELEASE_FUNCTION(); }

// A caller object whose ProcessExport hands each page to the host's function.
class CallbackPages final : public quillor::com::Implements<quillor::com::IDispatch> {
 public:
  CallbackPages(quillor_page_fn receiver, void* state) : receiver_(receiver), state_(state) {}
  void Receive(quillor_page_fn receiver, void* state) {
    receiver_ = receiver;
    state_ = state;
  }

  HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    if (!dispid) return quillor::com::E_POINTER;
    if (!quillor::EqualsIgnoreCase(name, "ProcessExport")) {
      return quillor::com::DISP_E_UNKNOWNNAME;
    }
    *dispid = 1;
    return quillor::com::S_OK;
  }

  HRESULT Invoke(int32_t dispid, quillor::com::InvokeKind kind,
                 std::vector<quillor::com::Variant>& args, quillor::com::Variant* result,
                 quillor::com::ExceptionInfo* exception) override {
    if (dispid != 1 || kind != quillor::com::InvokeKind::kMethod) {
      return quillor::com::DISP_E_MEMBERNOTFOUND;
    }
    if (args.size() != 3) return quillor::com::DISP_E_BADPARAMCOUNT;
    if (!args[0].Holds<std::string>() || !args[1].Holds<int32_t>() || !args[2].Holds<int32_t>()) {
      return quillor::com::DISP_E_TYPEMISMATCH;
    }
    if (!receiver_) {
      if (result) *result = quillor::com::Variant(true);
      return quillor::com::S_OK;
    }
    const std::string& page = args[0].Get<std::string>();
    int32_t number = args[1].Get<int32_t>();
    int32_t count = args[2].Get<int32_t>();
    refusal_.reset();
    in_receiver_ = true;
    const int32_t refused = receiver_(state_, page.data(), page.size(), &number, &count);
    in_receiver_ = false;
    if (refused != 0) {
      if (exception) {
        exception->number = quillor::failure_numbers::kFail;
        exception->description =
            "[Quillor] " + refusal_.value_or("the page receiver refused page " +
                                             std::to_string(args[1].Get<int32_t>()));
      }
      return quillor::com::DISP_E_EXCEPTION;
    }
    args[1] = quillor::com::Variant(number);
    args[2] = quillor::com::Variant(count);
    if (result) *result = quillor::com::Variant(true);
    return quillor::com::S_OK;
  }

 private:
  ~CallbackPages() override = default;
  bool AnswersTo(const quillor::com::Guid& iid) const override {
    return iid == quillor::com::kIID_IDispatch;
  }

  quillor_page_fn receiver_;
  void* state_;
  bool in_receiver_ = false;
  std::optional<std::string> refusal_;  // the receiver's own words for its refusal

 public:
  void Refuse(std::string text) {
    if (in_receiver_) refusal_ = std::move(text);
  }
};

// A reply at least this long leaves pages worth handing back once it is copied out.
constexpr size_t kLongReplyBytes = 256 * 1024;

using quillor::deliverable::ClearOut;
using quillor::deliverable::CopyOut;

}  // namespace

struct quillor_t {
  quillor::com::ComPtr<quillor::MaterialComponent> object;
  quillor::com::ComPtr<CallbackPages> pages;  // registered at the first receiver
  quillor::CallFacts facts;                   // of the running or the last call
};

struct quillor_call_t {
  std::atomic<bool> stop{false};
  uint64_t request_bound = 0;
  quillor_item_fn item_receiver = nullptr;
  void* item_state = nullptr;
  quillor_trace_fn trace_receiver = nullptr;
  void* trace_state = nullptr;
  quillor_facts_fn read_receiver = nullptr;
  void* read_state = nullptr;
};

namespace {

// Whether a QUERY's rows go out in pages: a page size of at least 1 by the
// conversion the query applies to paginate (a text it refuses pages nothing), in
// a release that pages, to a caller registered before the call.
bool Paged(const quillor::RequestEnvelope& envelope, bool caller_registered) {
  if (!caller_registered || !Profile().paging || envelope.operation != "QUERY") return false;
  try {
    return quillor::PageSizeFromText(envelope.paginate) >= 1;
  } catch (const quillor::Failure&) {
    return false;
  }
}

// The call's options as the component takes them: its stop flag, and its
// receivers behind functions that hand NUL-terminated copies to C. The object's
// facts are filled by the same hooks, whether or not the host listens.
quillor::CallHooks HooksOf(quillor_t& object, const quillor_call_t* call) {
  quillor::CallHooks hooks;
  hooks.trace_from_environment = false;
  quillor::CallFacts& facts = object.facts;
  hooks.rows = facts.rows();
  const quillor_facts_fn read = call ? call->read_receiver : nullptr;
  void* const read_state = call ? call->read_state : nullptr;
  hooks.envelope = [&facts, registered = object.pages.Get() != nullptr, read,
                    read_state](const quillor::RequestEnvelope& envelope) {
    facts.Read(envelope, Paged(envelope, registered));
    if (read) {
      const quillor_facts_t now = facts.Facts();
      read(read_state, &now);
    }
  };
  const quillor_item_fn receiver = call ? call->item_receiver : nullptr;
  void* const item_state = call ? call->item_state : nullptr;
  hooks.item = [&facts, receiver, item_state](const quillor::ItemDetail& detail) {
    facts.Told(detail);
    if (!receiver) return;
    const std::string id(detail.id), message(detail.message), reason(detail.reason),
        sqlstate(detail.state);
    const quillor_item_t item{detail.line ? id.c_str() : nullptr, detail.code, message.c_str(),
                              reason.c_str(), sqlstate.c_str()};
    receiver(item_state, &item);
  };
  if (!call) return hooks;
  hooks.stop = &call->stop;
  if (call->trace_receiver) {
    hooks.trace = [receiver = call->trace_receiver, state = call->trace_state](
                      std::string_view line) { receiver(state, line.data(), line.size()); };
  }
  return hooks;
}

}  // namespace

extern "C" {

int32_t quillor_api_version(void) { return QUILLOR_C_API_VERSION; }

const char* quillor_release(void) {
  static const std::string release(Profile().release);
  return release.c_str();
}

quillor_t* quillor_create(void) {
  try {
    auto* handle = new quillor_t;
    handle->object = quillor::MaterialComponent::Create(Profile());
    return handle;
  } catch (...) {
    return nullptr;
  }
}

void quillor_destroy(quillor_t* object) { delete object; }

int32_t quillor_set_page_receiver(quillor_t* object, quillor_page_fn receiver, void* state) {
  if (!object) return quillor::com::E_POINTER;
  try {
    // The component keeps its registered caller for good (DropObjectReference
    // only compares), so the caller object stays and the function changes; with
    // none, pages are taken and dropped.
    if (object->pages) {
      object->pages->Receive(receiver, state);
      return quillor::com::S_OK;
    }
    if (!receiver) return quillor::com::S_OK;
    auto pages = quillor::com::ComPtr<CallbackPages>::Adopt(new CallbackPages(receiver, state));
    quillor::com::IDispatch* caller = pages.Get();
    bool kept = false;
    const HRESULT hr = object->object->AddObjectReference(&caller, &kept);
    if (quillor::com::Failed(hr)) return hr;
    if (!kept) return quillor::com::E_FAIL;
    object->pages = std::move(pages);
    return quillor::com::S_OK;
  } catch (const std::bad_alloc&) {
    return quillor::com::E_OUTOFMEMORY;
  } catch (...) {
    return quillor::com::E_FAIL;
  }
}

void quillor_set_page_refusal(quillor_t* object, const char* text, size_t length) {
  if (!object || !object->pages || (!text && length)) return;
  try {
    object->pages->Refuse(std::string(text ? text : "", length));
  } catch (...) {  // out of memory: the default words stand
  }
}

int32_t quillor_check_database(const char* connection, size_t connection_length, char** failure,
                               size_t* failure_length) {
  ClearOut(failure, failure_length);
  if (!connection && connection_length) return quillor::com::E_POINTER;
  // The words go out only for a failure: an answering database gives none.
  char* words = nullptr;
  size_t words_length = 0;
  const int32_t status = quillor::deliverable::AnswerText(&words, &words_length, "the database check failed", [&] {
    std::unique_ptr<quillor::Connection> conn = quillor::ConnectionPool::ForProcess().Acquire(
        std::string_view(connection ? connection : "", connection_length));
    conn->Open("select 1 as n", quillor::CursorType::kForwardOnly);
    return std::string();
  });
  if (status < 0 && failure) {
    *failure = words;
    if (failure_length) *failure_length = words_length;
  } else {
    std::free(words);
  }
  return status;
}

quillor_call_t* quillor_call_create(void) { return new (std::nothrow) quillor_call_t; }

void quillor_call_destroy(quillor_call_t* call) { delete call; }

void quillor_call_set_request_bound(quillor_call_t* call, uint64_t bytes) {
  if (call) call->request_bound = bytes;
}

void quillor_request_stop(quillor_call_t* call) {
  if (call) call->stop.store(true);
}

void quillor_call_set_item_receiver(quillor_call_t* call, quillor_item_fn receiver, void* state) {
  if (!call) return;
  call->item_receiver = receiver;
  call->item_state = state;
}

void quillor_call_set_trace_receiver(quillor_call_t* call, quillor_trace_fn receiver, void* state) {
  if (!call) return;
  call->trace_receiver = receiver;
  call->trace_state = state;
}

void quillor_call_set_read_receiver(quillor_call_t* call, quillor_facts_fn receiver, void* state) {
  if (!call) return;
  call->read_receiver = receiver;
  call->read_state = state;
}

int32_t quillor_facts(const quillor_t* object, quillor_facts_t* facts) {
  if (!object || !facts) return quillor::com::E_POINTER;
  // A host of a later header asks for more; one of an earlier header there is not.
  if (facts->size < sizeof(quillor_facts_t)) return quillor::com::E_INVALIDARG;
  *facts = object->facts.Facts();
  return quillor::com::S_OK;
}

int32_t quillor_pool_counts(quillor_pool_counts_t* counts) {
  if (!counts) return quillor::com::E_POINTER;
  try {
    const quillor::PoolCounts now = quillor::ConnectionPool::ForProcess().Counts();
    *counts = {now.idle, now.busy, now.opened, now.reused, now.discarded};
    return quillor::com::S_OK;
  } catch (...) {
    return quillor::com::E_FAIL;
  }
}

int32_t quillor_transact(quillor_t* object, const quillor_call_t* call, const char* request,
                         size_t request_length, const char* connection, size_t connection_length,
                         char** reply, size_t* reply_length) {
  ClearOut(reply, reply_length);
  if (!object || !reply || (!request && request_length) || (!connection && connection_length)) {
    return quillor::com::E_POINTER;
  }
  try {
    object->facts.Begin();
    std::string connection_text(connection ? connection : "", connection_length);
    // The last pair of a key wins: the call's bound outweighs the text's.
    if (call && call->request_bound > 0) {
      connection_text += ";" + std::string(quillor::kMaxRequestSizeKey) + "=" +
                         std::to_string(call->request_bound);
    }
    const quillor::com::Guid& login_iid = object->object->profile().ids.login_iid;
    // The stop flag is the call's, not the login object's.
    auto login = quillor::MakeLogin(std::move(connection_text), login_iid);
    quillor::IOrvoLogin* passed = login.Get();
    std::string text;
    const HRESULT hr =
        object->object->TransactWith(std::string(request ? request : "", request_length), &passed,
                                     &text, HooksOf(*object, call));
    if (!text.empty() || quillor::com::Succeeded(hr)) {
      *reply = CopyOut(text);
      if (!*reply) return quillor::com::E_OUTOFMEMORY;
      if (reply_length) *reply_length = text.size();
    }
    // The host's copy is the one that lives on: after a long reply the allocator
    // hands the pages of this one back, as the component does after its own.
    if (text.size() >= kLongReplyBytes) {
      std::string().swap(text);
      quillor::ReturnFreedMemory();
    }
    return hr;
  } catch (const std::bad_alloc&) {
    return quillor::com::E_OUTOFMEMORY;
  } catch (...) {
    return quillor::com::E_FAIL;
  }
}

void quillor_free(void* text) { std::free(text); }

}  // extern "C"
