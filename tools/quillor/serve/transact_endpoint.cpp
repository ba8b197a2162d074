// POST /transact: the body is the request document; the answer is what the
// quillor transact command prints for it, or, for a paged QUERY, the pages as
// they complete and then that reply, as parts of one multipart answer.
#include "component/request_bound.h"
#include "platform/base/failure.h"
#include "tools/quillor/serve/multipart_parts.h"
#include "tools/quillor/serve/request_envelope.h"
#include "tools/quillor/serve/service.h"
#include "tools/quillor/server_loading.h"

namespace quillor::serve {

namespace {

constexpr const char* kXml = "application/xml; charset=utf-8";

// The component refuses a request over its bound with the not-well-formed reply
// and the catalogue's text; the log line carries the size and the bound instead.
void NoteOversized(size_t request_bytes, const std::string& connection, ServedNote& note) {
  if (note.code != "100") return;
  try {
    const uint64_t most = MaxRequestBytes(ConnectionText::Lenient(connection));
    if (request_bytes <= most) return;
    note.request_bytes = request_bytes;
    note.limit = most;
  } catch (const Failure&) {  // a bound that is no number: the reply says so
  }
}

// The headers that say what the reply holds, so that a balancer or a client can
// act on it without reading the XML.
void AddReplyHeaders(Reply& reply, const ReplySummary& summary) {
  if (!summary.code.empty()) reply.headers.emplace_back("X-Quillor-Code", summary.code);
  if (!summary.items.empty())
    reply.headers.emplace_back("X-Quillor-Items", ItemsHeader(summary.items));
}

}  // namespace

// A reply that may say the connection did not open is held against the
// database itself: when the server cannot reach it either, nothing was written
// and another server may take the request, so the answer is 503 with the
// component's reply unchanged as its body.
void Service::MarkUnreachable(Reply& reply, const ReplySummary& summary) const {
  if (!MayBeUnopenedConnection(summary) || !DatabaseFailure()) return;
  reply.status = 503;
  reply.headers.emplace_back("Retry-After", "5");
}

std::optional<Reply> Service::Transact(const std::string& body, WorkerState& worker,
                                       ReplyStream& stream, ServedNote& note) const {
  const RequestEnvelope envelope = ReadEnvelope(body);
  note.transact = true;
  note.proc = envelope.proc;
  note.docid = envelope.docid;

  if (!worker.component) {
    return TextReply(500, "no component object: " + worker.failure, true);
  }
  WorkerComponent& component = *worker.component;
  const std::string& connection = settings_.connection_text;

  if (!envelope.paged || !component.hands_out_pages()) {
    Reply reply;
    reply.content_type = kXml;
    const com::HRESULT hr = component.Transact(body, connection, nullptr, &reply.body);
    if (com::Failed(hr)) return TextReply(500, "Transact failed: " + StatusText(hr), true);
    const ReplySummary summary = SummarizeReply(reply.body, ProcLabel(envelope.proc) == "ADD");
    note.code = summary.code;
    note.items = summary.items;
    note.refused = summary.refused;
    NoteOversized(body.size(), connection, note);
    AddReplyHeaders(reply, summary);
    MarkUnreachable(reply, summary);
    reply.body += "\n";
    return reply;
  }

  // Paged: each page is queued for the client the moment the component hands it
  // over, and the worker goes on. The answer's head goes with the first page, so
  // that a call that hands out none (its connection did not open, say) is
  // answered as its reply tells.
  const std::string boundary = NewBoundary();
  Reply head;
  head.content_type = MultipartContentType(boundary);
  bool begun = false;
  bool sending = true;
  std::string reply;
  const com::HRESULT hr = component.Transact(
      body, connection,
      [&](const std::string& page, int32_t number, int32_t count) {
        if (!begun) {
          begun = true;
          sending = stream.Begin(head);
        }
        const long rows = CountRows(page, envelope.roottag);
        sending = sending && stream.Write(PagePart(boundary, page, number, count, rows));
        return sending;
      },
      &reply);
  // A failed call ends the answer without its closing boundary, which the client
  // sees as a broken answer.
  if (begun && (com::Failed(hr) || !sending)) return std::nullopt;
  if (com::Failed(hr)) return TextReply(500, "Transact failed: " + StatusText(hr), true);
  const ReplySummary summary = SummarizeReply(reply, false);
  note.code = summary.code;
  NoteOversized(body.size(), connection, note);
  // The reply part holds the last page's rows again when pages came before it.
  const long rows = CountRows(reply, envelope.roottag);
  reply += "\n";
  if (!begun) {
    AddReplyHeaders(head, summary);
    MarkUnreachable(head, summary);
    if (head.status != 200) {
      head.content_type = kXml;
      head.body = std::move(reply);
      return head;
    }
    if (!stream.Begin(head)) return std::nullopt;
  }
  if (stream.Write(ReplyPart(boundary, reply, rows, summary.code))) stream.Finish();
  return std::nullopt;
}

}  // namespace quillor::serve
