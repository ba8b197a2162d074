#include "tools/quillor/serve/pool_counts.h"

namespace quillor::serve {

std::function<std::optional<std::pair<long, long>>()> PoolCountsOf(
    const std::function<std::optional<quillor_pool_counts_t>()>& counts) {
  return [counts]() -> std::optional<std::pair<long, long>> {
    const std::optional<quillor_pool_counts_t> now = counts ? counts() : std::nullopt;
    if (!now) return std::nullopt;
    return std::make_pair(static_cast<long>(now->idle), static_cast<long>(now->busy));
  };
}

}  // namespace quillor::serve
