// What the server answers: the routes, the bearer check, the refusals, and the
// access log and metrics of every request. Installed on a cpp-httplib server
// whose task queue is a WorkerPool.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "tools/quillor/serve/bearer_tokens.h"
#include "tools/quillor/serve/metrics.h"
#include "tools/quillor/serve/worker_pool.h"

namespace quillor::serve {

struct ServiceSettings {
  std::string connection_text;
  std::optional<BearerTokens> tokens;
  size_t max_request_bytes = 64u << 20;
  std::chrono::milliseconds body_timeout{30000};
  // Reports the component's connection pool: idle and busy counts, or nothing.
  std::function<std::optional<std::pair<long, long>>()> pool_counts;
};

class Service {
 public:
  using LogWriter = std::function<void(const std::string& line)>;

  Service(ServiceSettings settings, LogWriter log);

  // Routes, checks, error bodies and the access log, on the server.
  void Install(httplib::Server& server);
  // The pool the server made, for the metrics; set once it exists.
  void set_pool(WorkerPool* pool) { pool_.store(pool); }
  // From now on every request that is not already being served is refused.
  void BeginStop() { stopping_.store(true); }

 private:
  httplib::Server::HandlerResponse CheckRequest(const httplib::Request& req,
                                                httplib::Response& res);
  void Transact(const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader& content);
  void Health(httplib::Response& res);
  void ShowMetrics(httplib::Response& res);
  void Log(const httplib::Request& req, const httplib::Response& res);

  const ServiceSettings settings_;
  const LogWriter log_;
  Metrics metrics_;
  std::atomic<WorkerPool*> pool_{nullptr};
  std::atomic<bool> stopping_{false};
};

}  // namespace quillor::serve
