// POST /transact: the body is the request document; the answer is what the
// quillor transact command prints for it, or, for a paged QUERY, the pages as
// they complete and then that reply, as parts of one multipart answer. What the
// log, the metrics and the headers say of the call comes from the component's
// own facts: the server reads neither the request nor the reply.
#include "tools/quillor/serve/multipart_parts.h"
#include "tools/quillor/serve/service.h"
#include "tools/quillor/server_loading.h"

namespace quillor::serve {

namespace {

constexpr const char* kXml = "application/xml; charset=utf-8";

// The component refuses a request over its bound with the not-well-formed reply
// and the catalogue's text; the log line carries the size and the bound instead.
void NoteOversized(size_t request_bytes, std::optional<uint64_t> bound, ServedNote& note) {
  if (note.code != std::to_string(QUILLOR_REPLY_NOT_WELL_FORMED)) return;
  if (!bound || request_bytes <= *bound) return;  // a bound that is no number: the reply says so
  note.request_bytes = request_bytes;
  note.limit = *bound;
}

// The reply's code and an ADD's item results by code, as the log, the metrics
// and the headers give them.
void NoteFacts(const SessionFacts& facts, ServedNote& note) {
  note.code = facts.code ? std::to_string(*facts.code) : std::string();
  if (facts.operation != QUILLOR_OPERATION_ADD) return;
  for (const quillor_code_count_t& entry : facts.items) {
    note.items[std::to_string(entry.code)] += static_cast<long>(entry.count);
  }
}

// The headers that say what the reply holds, so that a balancer or a client can
// act on it without reading the XML.
void AddReplyHeaders(Reply& reply, const ServedNote& note) {
  if (!note.code.empty()) reply.headers.emplace_back("X-Quillor-Code", note.code);
  if (!note.items.empty()) reply.headers.emplace_back("X-Quillor-Items", ItemsHeader(note.items));
}

}  // namespace

// A call that answered no line for want of its connection is held against the
// database itself: when the server cannot reach it either (or the driver already
// said it could not connect), nothing was written and another server may take
// the request, so the answer is 503 with the component's reply unchanged as its
// body.
void Service::MarkUnreachable(Reply& reply, const SessionFacts& facts) const {
  if (!MayBeUnopenedConnection(facts.code, !facts.items.empty())) return;
  if (!DriverCouldNotConnect(facts.state) && !DatabaseFailure()) return;
  reply.status = 503;
  reply.headers.emplace_back("Retry-After", "5");
}

std::optional<Reply> Service::Transact(const std::string& body, WorkerState& worker,
                                       ReplyStream& stream, ServedNote& note) const {
  note.transact = true;
  if (!worker.component) {
    return TextReply(500, "no component object: " + worker.failure, true);
  }
  WorkerComponent& component = *worker.component;
  const std::string& connection = settings_.connection_text;

  // Each page is queued for the client the moment the component hands it over,
  // and the worker goes on. The answer's head goes with the first page, so that
  // a call that hands out none (its connection did not open, say) is answered as
  // its reply tells.
  std::string boundary;
  Reply head;
  bool begun = false;
  bool sending = true;
  WorkerCall with;
  with.pages = [&](std::string_view page, int32_t number, int32_t count, int64_t rows) {
    if (!begun) {
      begun = true;
      boundary = NewBoundary();
      head.content_type = MultipartContentType(boundary);
      sending = stream.Begin(head);
    }
    sending = sending && stream.Write(PagePart(boundary, page, number, count, rows));
    return sending;
  };
  // An operator who reads no Chinese can still tell a refusal's reason.
  ItemReasons refused;
  with.items = [&refused, this](const quillor_item_t& item) {
    if (item.id && item.code != 0) {
      refused[std::to_string(item.code)].push_back(
          settings_.gloss_message ? settings_.gloss_message(item.message) : item.message);
    }
  };
  std::string reply;
  SessionFacts facts;
  const int32_t status = component.Transact(body, connection, with, &reply, &facts);
  note.proc = facts.proc;
  note.docid = facts.docid;
  // A failed call ends the answer without its closing boundary, which the client
  // sees as a broken answer.
  if (begun && (status < 0 || !sending)) return std::nullopt;
  if (status < 0) return TextReply(500, "Transact failed: " + StatusText(status), true);
  NoteFacts(facts, note);
  NoteOversized(body.size(), settings_.component_request_bound, note);

  if (!facts.paged && !begun) {
    note.refused = std::move(refused);
    Reply answer;
    answer.content_type = kXml;
    answer.body = std::move(reply);
    AddReplyHeaders(answer, note);
    MarkUnreachable(answer, facts);
    answer.body += "\n";
    return answer;
  }

  // The reply part holds the last page's rows again when pages came before it.
  reply += "\n";
  if (!begun) {
    boundary = NewBoundary();
    head.content_type = MultipartContentType(boundary);
    AddReplyHeaders(head, note);
    MarkUnreachable(head, facts);
    if (head.status != 200) {
      head.content_type = kXml;
      head.body = std::move(reply);
      return head;
    }
    if (!stream.Begin(head)) return std::nullopt;
  }
  if (stream.Write(ReplyPart(boundary, reply, facts.rows, note.code))) stream.Finish();
  return std::nullopt;
}

}  // namespace quillor::serve
