// The idle and busy counts of the loaded library's connection pool, for the
// metrics, read through a function the library exports when it has a pool.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace quillor::serve {

// A reader of (idle, busy); it answers nothing when the library has no such export.
std::function<std::optional<std::pair<long, long>>()> PoolCountsOf(const std::string& library);

}  // namespace quillor::serve
