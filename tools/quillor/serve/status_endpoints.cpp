// GET /healthz and GET /metrics.
#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "tools/quillor/serve/service.h"

namespace quillor::serve {

void Service::Health(httplib::Response& res) {
  try {
    std::unique_ptr<Connection> conn = OpenConnection(settings_.connection_text);
    conn->Open("select 1 as n", CursorType::kForwardOnly);
    res.set_content("ok\n", "text/plain; charset=utf-8");
  } catch (const Failure& f) {
    res.status = 503;
    res.set_content(f.description() + "\n", "text/plain; charset=utf-8");
  } catch (const std::exception& e) {
    res.status = 503;
    res.set_content(std::string(e.what()) + "\n", "text/plain; charset=utf-8");
  }
}

void Service::ShowMetrics(httplib::Response& res) {
  Gauges gauges;
  if (WorkerPool* pool = pool_.load()) {
    gauges.workers_busy = static_cast<long>(pool->busy());
    gauges.workers_idle = static_cast<long>(pool->threads()) - gauges.workers_busy;
    gauges.connections_queued = static_cast<long>(pool->queued());
  }
  if (settings_.pool_counts) {
    if (const auto counts = settings_.pool_counts()) {
      gauges.pool_idle = counts->first;
      gauges.pool_busy = counts->second;
    }
  }
  res.set_content(metrics_.Render(gauges), "text/plain; version=0.0.4; charset=utf-8");
}

}  // namespace quillor::serve
