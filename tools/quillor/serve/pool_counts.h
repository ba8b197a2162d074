// The idle and busy counts of the loaded library's connection pool, for the
// metrics, read through the C interface (quillor_pool_counts).
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "quillor/quillor.h"

namespace quillor::serve {

// A reader of (idle, busy) over the library's counts; nothing when they are not
// to be had.
std::function<std::optional<std::pair<long, long>>()> PoolCountsOf(
    const std::function<std::optional<quillor_pool_counts_t>()>& counts);

}  // namespace quillor::serve
