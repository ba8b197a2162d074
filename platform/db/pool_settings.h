// What the pool reads from a connection text: whether to pool, and for how long
// an idle connection is kept (the keys Pooling and Pool Idle Timeout, which never
// reach the database).
#pragma once

#include <chrono>
#include <string_view>

#include "platform/db/connection_text.h"

namespace quillor {

// The pool's reading of a connection text.
struct PoolSettings {
  bool pooling = true;
  std::chrono::seconds idle_time{60};
  ConnectionText database;  // the text without the pool's keys, for the database
};

// A value of Pooling or Pool Idle Timeout that means nothing is a failure. A text
// that does not parse as pairs is left to the database to judge, pooled.
PoolSettings ReadPoolSettings(const ConnectionText& connection_text);
PoolSettings ReadPoolSettings(std::string_view connection_text);

}  // namespace quillor
