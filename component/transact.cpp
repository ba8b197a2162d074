// One Transact call: opens the call's connection, reads the request and its
// envelope, reads the options and dispatches on proc; an ADD builds its reply
// template.
// Every failure on the way ends in a reply.
#include "component/transact_call.h"

#include <exception>
#include <optional>

#include "component/options.h"
#include "component/reply_codes.h"
#include "component/reply_formats.h"
#include "component/request_bound.h"
#include "component/request_envelope.h"
#include "messages/message_ids.h"
#include "platform/base/freed_memory.h"
#include "platform/base/text.h"
#include "platform/com/error_info.h"
#include "platform/db/connection_pool.h"
#include "platform/db/connection_text.h"
#include "platform/xml/element_values.h"
#include "query/query_execution.h"

namespace quillor {

namespace {

// The most nodes one line of an ADD, or a whole QUERY, may hold. A node costs
// 120 bytes or more, its text as little as 4 (`<a/>`): at this bound a tree
// stays near 40 MiB whatever the request's size, so that a call keeps within
// twice the request plus 64 MiB. A line of the host holds a few dozen.
constexpr size_t kMostNodesInATree = 250'000;

// A call whose request or reply is at least this long may have built a tree of
// tens of megabytes; after it the allocator hands its free pages back. Smaller
// calls are spared the cost.
constexpr size_t kLargeCallBytes = 256 * 1024;

// The code is written as a signed decimal number.
std::string ErrorReply(int32_t code, const std::string& message) {
  return ErrorReplyText(std::to_string(code), message);
}

std::string ReadConnectionString(IOrvoLogin& login) {
  std::string text;
  com::HRESULT hr = login.get_ConnectionString(&text);
  if (com::Failed(hr)) {
    if (auto info = com::TakeErrorInfo()) throw Failure(info->number, info->description);
    throw Failure::FromStatus(static_cast<uint32_t>(hr),
                              "The login object gave no connection text.");
  }
  return text;
}

}  // namespace

std::string TransactCall::FailureReply(const Failure& failure) {
  return ErrorReply(failure.number(), failure.description());
}

std::string TransactCall::Unanswered(int32_t code, const std::string& message,
                                     const std::string& state) {
  std::string reply = ErrorReply(code, message);
  if (hooks_.item) {
    ItemDetail detail;
    detail.line = false;
    detail.code = code;
    detail.message = message;
    detail.state = state;
    hooks_.item(detail);
  }
  return reply;
}

void TransactCall::Tell(std::string_view id, int32_t code, std::string_view message,
                        std::string_view reason) {
  if (!hooks_.item) return;
  ItemDetail detail;
  detail.id = id;
  detail.code = code;
  detail.message = message;
  detail.reason = reason;
  hooks_.item(detail);
}

bool TransactCall::StopRequested() { return hooks_.stop != nullptr && hooks_.stop->load(); }

std::string TransactCall::Run(const std::string& request_text, IOrvoLogin& login) {
  // The connection is let go of on every way out, the error replies included:
  // nothing after the call uses it. The pool closes it or keeps it, reset.
  struct LetGoOnReturn {
    TransactCall& call;
    ~LetGoOnReturn() {
      call.state_.call_connection = nullptr;
      call.conn_.reset();
    }
  } let_go{*this};
  std::string reply;
  try {
    reply = Dispatch(request_text, login);
  } catch (...) {
    // Still a reply, never an escape; after running out of memory, whatever was
    // being built is gone by now, which leaves room for the reply.
    const Failure failure = Failure::FromCurrentException();
    reply = Unanswered(failure.number(), failure.description(), failure.state());
  }
  if (request_text.size() >= kLargeCallBytes || reply.size() >= kLargeCallBytes) {
    ReturnFreedMemory();
  }
  return reply;
}

std::string TransactCall::Dispatch(const std::string& request_text, IOrvoLogin& login) {
  // Read once: the request bound is the component's own key, and the rest goes
  // to the pool and the database.
  const ConnectionText connection_text = ConnectionText::Lenient(ReadConnectionString(login));
  // The bound is known before the connection opens; a request over it is never
  // read. A bound that cannot be read is answered where it always was, after the
  // connection's faults.
  std::optional<uint64_t> most;
  std::exception_ptr unreadable_bound;
  try {
    most = MaxRequestBytes(connection_text);
  } catch (...) {
    unreadable_bound = std::current_exception();
  }
  // One read of the whole text, before the connection opens, proves it
  // well-formed. Its root's start tag holds everything the call reads of the
  // root: the envelope is read there, once, and a host is told it at once, so
  // that it knows what the call is before the connection opens. It tells the
  // operation too: an ADD keeps only the root, each child dropped as it
  // completes, and the batch reads its material elements from the text one at a
  // time in a second pass, so that a request of any length costs the memory of
  // one line and a request broken at its end writes nothing; every other
  // operation keeps the whole tree. The request's faults are answered after the
  // connection's. The request's text is the caller's and outlives the call.
  const bool within_bound = most && request_text.size() <= *most;
  XmlDocument request;
  request.SetMostNodes(kMostNodesInATree);
  const bool loaded =
      within_bound && request.LoadWholeOrRootOnly(request_text, [this](XmlElement root) {
        envelope_ = RequestEnvelope::FromRoot(root);
        if (hooks_.envelope) hooks_.envelope(envelope_);
        return envelope_.is_add;
      });
  if (most && !within_bound) {
    // A request over the bound is refused unread, but its host is still told
    // what it was, for its log: the root's start tag is read within the bound's
    // first bytes, and a start tag longer than that tells nothing.
    XmlDocument start;
    if (start.LoadRootStart(std::string_view(request_text).substr(0, *most)) && start.Root()) {
      envelope_ = RequestEnvelope::FromRoot(start.Root());
      if (hooks_.envelope) hooks_.envelope(envelope_);
    }
  }
  // From the process's pool: an idle connection opened from the same text when
  // there is one, and given back when the call ends.
  if (!connection_text.text().empty()) {
    const ConnectionText database = connection_text.Without({kMaxRequestSizeKey});
    conn_ = hooks_.trace || !hooks_.trace_from_environment
                ? OpenCallConnection(database, hooks_.trace)
                : OpenCallConnection(database);
  }
  if (!conn_)
    return Unanswered(static_cast<int32_t>(ReplyCode::kNoConnection),
                      messages_.Text(msg::kConnectionError));
  state_.call_connection = conn_.get();

  if (unreadable_bound) std::rethrow_exception(unreadable_bound);
  if (!within_bound) {
    // The reply keeps the catalogue's text, as every caller reads it; the command
    // and the server say the size and the bound on their own channels.
    return Unanswered(static_cast<int32_t>(ReplyCode::kNotWellFormed),
                      messages_.Text(msg::kXmlParseError));
  }
  if (!loaded) {
    return Unanswered(static_cast<int32_t>(ReplyCode::kNotWellFormed),
                      messages_.Text(msg::kXmlParseError));
  }
  const XmlElement root = request.Root();
  if (!root)
    return Unanswered(static_cast<int32_t>(ReplyCode::kNoRootElement),
                      messages_.Text(msg::kNoRootNode));

  if (profile_.reads_options) {
    state_.cost_object_mode = ReadCostObjectMode(*conn_, state_.cost_object_mode);
  }

  std::string reply;
  if (envelope_.is_add) {
    // The reply's root, built only where item results are appended to it.
    result_doc_ = ReplyTemplate(envelope_.docid, envelope_.proc);
    AddProc(MaterialSource(std::string_view(request_text)), reply);
  } else if (envelope_.operation == "QUERY") {
    const XmlNodeList fields = root.Select(envelope_.roottag.value_or("") + "/field");
    const QueryContext ctx{conn_.get(), profile_, nullptr,
                           profile_.caller_registration ? &state_.caller : nullptr, hooks_.rows};
    QueryProc(ctx, request, QueryRootValues{envelope_.roottag, envelope_.paginate}, fields, reply);
  } else {
    return Unanswered(static_cast<int32_t>(ReplyCode::kUnknownProc),
                      messages_.Text(msg::kUnknownProc));
  }
  return reply;
}

}  // namespace quillor
