#include "tools/quillor/serve/service.h"

#include <optional>

#include "platform/base/text.h"
#include "tools/quillor/serve/access_log.h"
#include "tools/quillor/serve/request_envelope.h"
#include "tools/quillor/serve/request_note.h"

namespace quillor::serve {

namespace {

using HandlerResponse = httplib::Server::HandlerResponse;

constexpr const char* kText = "text/plain; charset=utf-8";

HandlerResponse Answer(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", kText);
  return HandlerResponse::Handled;
}

// The client is asked to close the connection: what it sent after the headers
// was not read.
HandlerResponse Close(httplib::Response& res, int status, const std::string& text) {
  res.set_header("Connection", "close");
  return Answer(res, status, text);
}

// The body's announced length: nothing when none is announced, -1 when the
// announcement is not one plain decimal number (or is given twice, differently).
std::optional<long long> AnnouncedLength(const httplib::Request& req) {
  const size_t count = req.get_header_value_count("Content-Length");
  if (count == 0) return std::nullopt;
  const std::string first = req.get_header_value("Content-Length");
  for (size_t i = 1; i < count; ++i) {
    if (req.get_header_value("Content-Length", i) != first) return -1;
  }
  if (first.empty() || first.size() > 18) return -1;
  long long length = 0;
  for (const char c : first) {
    if (c < '0' || c > '9') return -1;
    length = length * 10 + (c - '0');
  }
  return length;
}

const char* ReasonOf(int status) {
  switch (status) {
    case 400:
      return "Bad Request";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 416:
      return "Range Not Satisfiable";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    default:
      return "Error";
  }
}

}  // namespace

Service::Service(ServiceSettings settings, LogWriter log)
    : settings_(std::move(settings)), log_(std::move(log)) {}

void Service::Install(httplib::Server& server) {
  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    return CheckRequest(req, res);
  });
  server.Post("/transact",
              [this](const httplib::Request& req, httplib::Response& res,
                     const httplib::ContentReader& content) { Transact(req, res, content); });
  server.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) { Health(res); });
  server.Get("/metrics",
             [this](const httplib::Request&, httplib::Response& res) { ShowMetrics(res); });
  // Errors the library answers itself (a request it cannot parse, a body over
  // the limit) get a short text too.
  server.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty() || res.content_provider_) return HandlerResponse::Unhandled;
        res.set_content(std::to_string(res.status) + " " + ReasonOf(res.status) + "\n", kText);
        return HandlerResponse::Handled;
      }));
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        res.set_header("Connection", "close");
        res.set_content("500 Internal Server Error\n", kText);
      });
  server.set_logger(
      [this](const httplib::Request& req, const httplib::Response& res) { Log(req, res); });
  server.set_payload_max_length(settings_.max_request_bytes);
}

HandlerResponse Service::CheckRequest(const httplib::Request& req, httplib::Response& res) {
  RequestNote& note = ThisThreadsNote();
  note = RequestNote{};
  note.begun = true;
  note.start = std::chrono::steady_clock::now();

  if (WorkerPool::Refusing()) {
    res.set_header("Retry-After", "1");
    return Close(res, 503, "every worker is busy");
  }
  if (stopping_.load()) {
    res.set_header("Retry-After", "5");
    return Close(res, 503, "the server is stopping");
  }
  if (settings_.tokens && (req.get_header_value_count("Authorization") != 1 ||
                           !settings_.tokens->Accepts(req.get_header_value("Authorization")))) {
    res.set_header("WWW-Authenticate", "Bearer");
    return Close(res, 401, "a valid bearer token is needed");
  }

  const bool reads = req.method == "GET" || req.method == "HEAD";
  if (req.path == "/transact") {
    if (req.method != "POST") {
      res.set_header("Allow", "POST");
      return Close(res, 405, "use POST");
    }
    // A length over the limit is refused before a byte of the body is read; a
    // length that is not a number, or one beside a chunked body, is no request.
    const std::optional<long long> length = AnnouncedLength(req);
    if (length && (*length < 0 || req.has_header("Transfer-Encoding"))) {
      return Close(res, 400, "the body's length is not one plain number");
    }
    if (length && static_cast<unsigned long long>(*length) > settings_.max_request_bytes) {
      return Close(res, 413, "the request is larger than the server takes");
    }
    if (StartsWithIgnoreCase(req.get_header_value("Content-Type"), "multipart/form-data")) {
      return Close(res, 415, "the body is the request document itself");
    }
    return HandlerResponse::Unhandled;
  }
  if (req.path == "/healthz" || req.path == "/metrics") {
    if (!reads) {
      res.set_header("Allow", "GET, HEAD");
      return Close(res, 405, "use GET");
    }
    return HandlerResponse::Unhandled;
  }
  return Close(res, 404, "no such path");
}

void Service::Log(const httplib::Request& req, const httplib::Response& res) {
  RequestNote& note = ThisThreadsNote();
  const auto now = std::chrono::steady_clock::now();
  const double seconds = note.begun ? std::chrono::duration<double>(now - note.start).count() : 0.0;

  AccessRecord record;
  record.time = std::chrono::system_clock::now();
  // A request the library could not parse has no address filled in.
  if (req.remote_port >= 0) record.client = req.remote_addr + ":" + std::to_string(req.remote_port);
  record.method = req.method;
  record.path = req.path;
  record.status = res.status;
  record.proc = note.proc;
  record.docid = note.docid;
  record.items = note.items;
  record.duration_ms = seconds * 1000;
  log_(AccessLine(record));

  metrics_.CountRequest(note.transact ? ProcLabel(note.proc) : "", res.status, seconds);
  metrics_.CountItems(note.items);
  note = RequestNote{};
}

}  // namespace quillor::serve
