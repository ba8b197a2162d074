#include "tools/quillor/serve/pool_counts.h"

namespace quillor::serve {

std::function<std::optional<std::pair<long, long>>()> PoolCountsOf(const std::string&) {
  return [] { return std::optional<std::pair<long, long>>(); };
}

}  // namespace quillor::serve
