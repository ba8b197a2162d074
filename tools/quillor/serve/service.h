// What the server answers: the routes, the bearer check, the refusals, and the
// access log and metrics of every request. The engine (http_engine) reads the
// requests and writes the answers; nothing here sees the HTTP library.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "tools/quillor/serve/bearer_tokens.h"
#include "tools/quillor/serve/http_exchange.h"
#include "tools/quillor/serve/metrics.h"
#include "tools/quillor/serve/published_files.h"
#include "tools/quillor/serve/reply_items.h"
#include "tools/quillor/serve/worker_pool.h"

namespace quillor::serve {

struct ServiceSettings {
  std::string connection_text;
  std::string release;  // the release served, for quillor_build_info
  std::optional<BearerTokens> tokens;
  // /healthz needs no token, and its 503 says nothing about the database.
  bool healthz_open = false;
  // /healthz answers that say ok get an access log line too.
  bool log_healthz = false;
  // The folder of openapi.yaml and schemas/; empty: share/quillor/ beside the command.
  std::string published_root;
  uint64_t max_request_bytes = 64u << 20;
  // The largest request a call with connection_text accepts, as the library reads
  // it; none when the text's bound is no number (the reply says so).
  std::optional<uint64_t> component_request_bound;
  // Reports the component's connection pool: idle and busy counts, or nothing.
  std::function<std::optional<std::pair<long, long>>()> pool_counts;
  // Asks the library's pool whether the database of a connection text answers:
  // nothing when it does, else the database's words.
  std::function<std::optional<std::string>(const std::string& connection)> database_failure;
  // The English of a message of the component, in the release library's words
  // (the message as it is when unset).
  std::function<std::string(std::string_view message)> gloss_message;
};

// What serving one request found out, for its log line and the metrics.
struct ServedNote {
  bool transact = false;  // a POST /transact whose body was read
  std::string proc;
  std::string docid;
  std::string code;  // the reply's own code; empty for a normal reply
  ItemCounts items;
  ItemReasons refused;
  // For the component's oversized-request reply, whose text stays the catalogue's:
  // the request's size and the component's bound (Max Request Size).
  std::optional<uint64_t> request_bytes;
  std::optional<uint64_t> limit;
  // Whether the whole answer reached the client, and how many of its bytes did.
  bool delivered = true;
  uint64_t bytes_sent = 0;
  // Counted in the metrics before it was sent (Count), so that a client holding
  // its answer finds it there.
  bool counted = false;
};

class Service {
 public:
  using LogWriter = std::function<void(const std::string& line)>;

  Service(ServiceSettings settings, LogWriter log);

  // The checks made on the headers alone, before a byte of the body is read:
  // the refusal, or nothing when the request goes on.
  std::optional<Reply> Check(const RequestHead& head) const;
  // True for the requests a worker answers; the others are answered at once.
  static bool NeedsWorker(const RequestHead& head) { return head.path != "/metrics"; }
  // Answers a request that passed the check, on a worker. A paged QUERY is sent
  // through `stream` as it comes and gives nothing back.
  std::optional<Reply> Serve(const RequestHead& head, const std::string& body, WorkerState& worker,
                             ReplyStream& stream, ServedNote& note) const;
  Reply ShowMetrics(const RequestHead& head, const Gauges& gauges) const;

  // One access log line and the counts of one answered request; no head for a
  // request that could not be read.
  void Log(const RequestHead* head, const std::string& client, int status, const ServedNote& note);
  // Counts an answer in the metrics before it is sent; its Log then adds only
  // its log line and whether it was delivered.
  void Count(const RequestHead& head, int status, ServedNote& note);
  // Refused at once: the request the engine could not read or take on.
  static Reply Busy();
  static Reply Stopping();
  // /healthz while every worker has been in one call for longer than the read
  // timeout: 503, naming how long.
  static Reply Stuck(const RequestHead& head, std::chrono::steady_clock::duration stuck);
  // 413, naming the limit.
  static Reply TooLarge(uint64_t limit);

  // Takes the tokens of a reload: every request checked from now on is held
  // against them. Whether tokens are needed at all stays as it started.
  void ReplaceTokens(BearerTokens tokens);
  bool needs_tokens() const { return settings_.tokens.has_value(); }

  // From now on every request that is not already being served is refused.
  void BeginStop() { stopping_.store(true); }
  bool stopping() const { return stopping_.load(); }
  const ServiceSettings& settings() const { return settings_; }

 private:
  std::optional<Reply> Transact(const std::string& body, WorkerState& worker, ReplyStream& stream,
                                ServedNote& note) const;
  Reply Health(const RequestHead& head) const;
  // Why a connection from the command's own pool does not answer `select 1`;
  // nothing when it does.
  std::optional<std::string> DatabaseFailure() const;
  // Turns the answer into 503 with Retry-After when the call's own outcome says
  // its connection may not have opened and the database does not answer.
  void MarkUnreachable(Reply& reply, const SessionFacts& facts) const;

  bool TokenAccepted(const RequestHead& head) const;
  void CountAnswer(int status, const ServedNote& note, double seconds);
  void LogLine(const RequestHead* head, const std::string& client, int status,
               const ServedNote& note, double seconds) const;

  const ServiceSettings settings_;
  const LogWriter log_;
  mutable std::mutex tokens_mutex_;
  std::shared_ptr<const BearerTokens> tokens_;  // null: none needed
  const PublishedFiles published_;
  Metrics metrics_;
  std::atomic<bool> stopping_{false};
};

}  // namespace quillor::serve
