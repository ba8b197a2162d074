// POST /transact: the body is the request document; the answer is what the
// quillor transact command prints for it, or, for a paged QUERY, the pages as
// they complete and then that reply, as parts of one multipart answer.
#include <memory>

#include "tools/quillor/serve/multipart_parts.h"
#include "tools/quillor/serve/request_envelope.h"
#include "tools/quillor/serve/request_note.h"
#include "tools/quillor/serve/service.h"
#include "tools/quillor/server_loading.h"

namespace quillor::serve {

namespace {

constexpr const char* kXml = "application/xml; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";

void Refuse(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_header("Connection", "close");
  res.set_content(text + "\n", kText);
}

}  // namespace

void Service::Transact(const httplib::Request&, httplib::Response& res,
                       const httplib::ContentReader& content) {
  // The body is read here, bounded in size and in time: a client that sends it
  // too slowly holds a worker no longer than the body timeout.
  const auto deadline = std::chrono::steady_clock::now() + settings_.body_timeout;
  auto body = std::make_shared<std::string>();
  bool too_large = false;
  bool too_slow = false;
  const bool read = content([&](const char* data, size_t length) {
    if (body->size() + length > settings_.max_request_bytes) {
      too_large = true;
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      too_slow = true;
      return false;
    }
    body->append(data, length);
    return true;
  });
  if (!read) {
    // A read that stopped for want of data after the deadline was a client too slow.
    if (too_large || res.status == 413) {
      Refuse(res, 413, "the request is larger than the server takes");
    } else if (too_slow || std::chrono::steady_clock::now() >= deadline) {
      Refuse(res, 408, "the request body came too slowly");
    } else {
      Refuse(res, 400, "the request body could not be read");
    }
    return;
  }

  RequestNote& note = ThisThreadsNote();
  const RequestEnvelope envelope = ReadEnvelope(*body);
  note.transact = true;
  note.proc = envelope.proc;
  note.docid = envelope.docid;

  WorkerState* worker = WorkerPool::Current();
  if (worker == nullptr || !worker->component) {
    Refuse(res, 500,
           "no component object: " + (worker ? worker->failure : std::string("no worker")));
    return;
  }
  WorkerComponent* component = worker->component.get();
  const std::string& connection = settings_.connection_text;

  if (!envelope.paged || !component->hands_out_pages()) {
    std::string reply;
    const com::HRESULT hr = component->Transact(*body, connection, nullptr, &reply);
    if (com::Failed(hr)) {
      Refuse(res, 500, "Transact failed: " + StatusText(hr));
      return;
    }
    if (ProcLabel(envelope.proc) == "ADD") note.items = CountItemResults(reply);
    reply += "\n";
    res.set_content(reply, kXml);
    return;
  }

  // Paged: the answer starts before Transact runs, and each page is sent the
  // moment the component hands it over. This runs on the worker's own thread,
  // while the library writes the answer.
  const std::string boundary = NewBoundary();
  res.set_chunked_content_provider(
      MultipartContentType(boundary),
      [component, connection, body, boundary](size_t, httplib::DataSink& sink) {
        std::string reply;
        const com::HRESULT hr = component->Transact(
            *body, connection,
            [&](const std::string& page, int32_t number, int32_t count) {
              const std::string part = PagePart(boundary, page, number, count);
              return sink.is_writable() && sink.write(part.data(), part.size());
            },
            &reply);
        // A failed call ends the answer without its closing boundary, which the
        // client sees as a broken answer.
        if (com::Failed(hr)) return false;
        reply += "\n";
        const std::string last = ReplyPart(boundary, reply);
        if (!sink.write(last.data(), last.size())) return false;
        sink.done();
        return true;
      });
}

}  // namespace quillor::serve
