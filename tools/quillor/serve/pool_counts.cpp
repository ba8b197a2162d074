#include "tools/quillor/serve/pool_counts.h"

#include <memory>

#include "component/deliverable/pool_stats.h"
#include "platform/com/inproc_server.h"

namespace quillor::serve {

std::function<std::optional<std::pair<long, long>>()> PoolCountsOf(const std::string& library) {
  // The library stays loaded as long as the reader lives; the pool read is the
  // one the workers' objects draw from, since they load the same file.
  auto server = std::make_shared<com::InprocServer>(com::InprocServer::Load(library));
  const auto stats = reinterpret_cast<QuillorPoolStatsFn>(server->FindExport("QuillorPoolStats"));
  return [server, stats]() -> std::optional<std::pair<long, long>> {
    QuillorPoolCounts counts{};
    if (stats == nullptr || stats(&counts) != 0) return std::nullopt;
    return std::make_pair(static_cast<long>(counts.idle), static_cast<long>(counts.busy));
  };
}

}  // namespace quillor::serve
