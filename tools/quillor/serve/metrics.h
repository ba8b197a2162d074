// The server's counters, shown at GET /metrics in the Prometheus text format.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "tools/quillor/serve/reply_items.h"

namespace quillor::serve {

// Counts that are read at the moment of the scrape rather than accumulated.
struct Gauges {
  long workers_busy = 0;
  long workers_idle = 0;
  long connections_queued = 0;
  // The component's connection pool, when the loaded library reports it.
  std::optional<long> pool_idle;
  std::optional<long> pool_busy;
};

class Metrics {
 public:
  // Upper bounds of the duration histogram's buckets, in seconds.
  static constexpr std::array<double, 12> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                      0.1,   0.25,   0.5,   1,    2.5,   10};

  void CountRequest(const std::string& proc_label, int status, double seconds);
  void CountItems(const ItemCounts& items);
  // Whether an answer reached its client whole, and the bytes that did.
  void CountDelivery(bool delivered, uint64_t bytes_sent);
  // A reply that carries its own code (a failure); codes the component does not
  // give are counted as "other", so that replies cannot make up label values.
  void CountReply(const std::string& proc_label, const std::string& code);
  static std::string CodeLabel(const std::string& code);

  // quillor_build_info{version,release,commit} 1: what is running, for
  // dashboards that join it to the other series. Set once, before serving.
  void SetBuild(std::string version, std::string release, std::string commit);

  std::string Render(const Gauges& gauges) const;

 private:
  std::string build_info_;
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, int>, long> requests_;         // (proc, status) -> count
  std::map<std::string, long> items_;                            // item code -> count
  std::map<std::pair<std::string, std::string>, long> replies_;  // (proc, code) -> count
  std::array<long, kBuckets.size()> bucket_counts_{};            // not cumulative
  long duration_count_ = 0;
  long cut_short_ = 0;
  uint64_t bytes_sent_ = 0;
  double duration_sum_ = 0;
};

}  // namespace quillor::serve
