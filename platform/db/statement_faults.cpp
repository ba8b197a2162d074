#include "platform/db/statement_faults.h"

#include <utility>

namespace quillor {

void StatementFaults::FailStatement(int64_t n, int64_t count) {
  fail_at_.store(0, std::memory_order_relaxed);
  count_.store(0, std::memory_order_relaxed);
  fail_count_.store(count, std::memory_order_relaxed);
  fail_at_.store(n < 0 ? 0 : n, std::memory_order_relaxed);
}

void StatementFaults::FailWhen(std::function<bool(std::string_view)> rule) {
  std::lock_guard lock(rule_mutex_);
  has_rule_.store(static_cast<bool>(rule), std::memory_order_relaxed);
  rule_ = std::move(rule);
}

void StatementFaults::Reset() {
  FailStatement(0);
  FailWhen(nullptr);
}

bool StatementFaults::ShouldFail(std::string_view sql) {
  const int64_t number = count_.fetch_add(1, std::memory_order_relaxed) + 1;
  if (has_rule_.load(std::memory_order_relaxed)) {
    std::lock_guard lock(rule_mutex_);
    if (rule_ && rule_(sql)) return true;
  }
  const int64_t fail_at = fail_at_.load(std::memory_order_relaxed);
  if (fail_at == 0) return false;
  const int64_t count = fail_count_.load(std::memory_order_relaxed);
  return number >= fail_at && (count == kForever || number < fail_at + count);
}

}  // namespace quillor
