#include "tools/quillor/serve/service.h"

#include "tools/quillor/command_text.h"
#include "tools/quillor/serve/access_log.h"
#include "tools/quillor/serve/proc_label.h"
#include "tools/quillor/version.h"

namespace quillor::serve {

namespace {

// What the client sent after the headers is not read after a refusal: the
// connection ends with it.
Reply Refusal(int status, std::string_view text) { return TextReply(status, text, true); }

Reply WithHeader(Reply reply, std::string name, std::string value) {
  reply.headers.emplace_back(std::move(name), std::move(value));
  return reply;
}

}  // namespace

Service::Service(ServiceSettings settings, LogWriter log)
    : settings_(std::move(settings)),
      log_(std::move(log)),
      published_(settings_.published_root.empty() ? PublishedFiles::BesideCommand()
                                                  : PublishedFiles(settings_.published_root)) {
  if (settings_.tokens) tokens_ = std::make_shared<const BearerTokens>(*settings_.tokens);
  metrics_.SetBuild(CommandVersion(), settings_.release, SourceCommit());
}

void Service::ReplaceTokens(BearerTokens tokens) {
  auto fresh = std::make_shared<const BearerTokens>(std::move(tokens));
  std::lock_guard lock(tokens_mutex_);
  if (tokens_) tokens_.swap(fresh);
}

bool Service::TokenAccepted(const RequestHead& head) const {
  std::shared_ptr<const BearerTokens> tokens;
  {
    std::lock_guard lock(tokens_mutex_);
    tokens = tokens_;
  }
  if (!tokens) return true;
  // For balancers that cannot send a header: the open health check says only
  // ok or not.
  if (settings_.healthz_open && head.path == "/healthz") return true;
  return head.authorization.size() == 1 && tokens->Accepts(head.authorization.front());
}

Reply Service::Busy() {
  return WithHeader(Refusal(503, "every worker is busy"), "Retry-After", "1");
}

Reply Service::Stopping() {
  return WithHeader(Refusal(503, "the server is stopping"), "Retry-After", "5");
}

Reply Service::Stuck(const RequestHead& head, std::chrono::steady_clock::duration stuck) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(stuck).count();
  Reply reply = TextReply(
      503, "every worker has been in one call for " + std::to_string(seconds) + " s or more",
      false);
  reply.head_only = head.method == "HEAD";
  return reply;
}

std::optional<Reply> Service::Check(const RequestHead& head) const {
  if (stopping()) return Stopping();
  if (!TokenAccepted(head)) {
    return WithHeader(Refusal(401, "a valid bearer token is needed"), "WWW-Authenticate", "Bearer");
  }
  const bool reads = head.method == "GET" || head.method == "HEAD";
  if (head.path == "/transact") {
    if (head.method != "POST") return WithHeader(Refusal(405, "use POST"), "Allow", "POST");
    if (BeginsIgnoringCase(head.content_type, "multipart/form-data")) {
      return Refusal(415, "the body is the request document itself");
    }
  } else if (head.path == "/healthz" || head.path == "/metrics" ||
             PublishedFiles::Serves(head.path)) {
    if (!reads) return WithHeader(Refusal(405, "use GET"), "Allow", "GET, HEAD");
  } else {
    return Refusal(404, "no such path");
  }
  // A length over the limit is refused before a byte of the body is read.
  if (head.content_length && *head.content_length > settings_.max_request_bytes) {
    return TooLarge(settings_.max_request_bytes);
  }
  return std::nullopt;
}

Reply Service::TooLarge(uint64_t limit) {
  return Refusal(413, "the request is larger than the server takes (--max-request-bytes " +
                          std::to_string(limit) + ")");
}

std::optional<Reply> Service::Serve(const RequestHead& head, const std::string& body,
                                    WorkerState& worker, ReplyStream& stream,
                                    ServedNote& note) const {
  if (head.path == "/healthz") return Health(head);
  if (PublishedFiles::Serves(head.path)) return published_.Get(head.path, head.method == "HEAD");
  return Transact(body, worker, stream, note);
}

void Service::Log(const RequestHead* head, const std::string& client, int status,
                  const ServedNote& note) {
  const auto now = std::chrono::steady_clock::now();
  const double seconds = head ? std::chrono::duration<double>(now - head->start).count() : 0.0;
  // A balancer's health checks, a few a second, would drown the requests: those
  // that say ok are counted, and logged only when asked for.
  if (!head || head->path != "/healthz" || status != 200 || settings_.log_healthz) {
    LogLine(head, client, status, note, seconds);
  }
  if (!note.counted) CountAnswer(status, note, seconds);
  metrics_.CountDelivery(note.delivered, note.bytes_sent);
}

void Service::Count(const RequestHead& head, int status, ServedNote& note) {
  const auto seconds = std::chrono::steady_clock::now() - head.start;
  CountAnswer(status, note, std::chrono::duration<double>(seconds).count());
  note.counted = true;
}

void Service::CountAnswer(int status, const ServedNote& note, double seconds) {
  const std::string label = note.transact ? ProcLabel(note.proc) : "";
  metrics_.CountRequest(label, status, seconds);
  if (!note.code.empty()) metrics_.CountReply(label, note.code);
  metrics_.CountItems(note.items);
}

void Service::LogLine(const RequestHead* head, const std::string& client, int status,
                      const ServedNote& note, double seconds) const {
  AccessRecord record;
  record.time = std::chrono::system_clock::now();
  record.client = client;
  if (head) {
    record.method = head->method;
    record.path = head->path;
  }
  record.status = status;
  // A body that named no operation (or was no XML) is logged under the label
  // the metrics count it under.
  record.proc = note.transact && note.proc.empty() ? ProcLabel(note.proc) : note.proc;
  record.docid = note.docid;
  record.code = note.code;
  record.items = note.items;
  record.refused = note.refused;
  record.request_bytes = note.request_bytes;
  record.limit = note.limit;
  record.duration_ms = seconds * 1000;
  record.delivered = note.delivered;
  record.bytes_sent = note.bytes_sent;
  log_(AccessLine(record));
}

}  // namespace quillor::serve
