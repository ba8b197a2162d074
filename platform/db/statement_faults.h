// Which statements are to fail, for trying the ways a statement or a connection
// fails in the field: a statement refused mid-batch, a connection lost mid-way.
// One plan serves the embedded backend (process-wide, see sqlite_faults.h) and
// the tests' recording connection; nothing fails unless a test arms it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>

namespace quillor {

class StatementFaults {
 public:
  static constexpr int64_t kForever = -1;

  // The nth statement from now on (1 = the next one), on any thread, fails, and so
  // do the count - 1 after it; kForever fails every statement from the nth on. An
  // n of 0 disarms. Counting starts afresh.
  void FailStatement(int64_t n, int64_t count = 1);
  // Every statement for which rule holds fails (an empty rule disarms).
  void FailWhen(std::function<bool(std::string_view)> rule);
  // Disarms everything and starts counting afresh.
  void Reset();
  // Statements seen (run or refused) since the last Reset or FailStatement.
  int64_t StatementsRun() const { return count_.load(std::memory_order_relaxed); }

  // Counts the statement; true when it is to fail.
  bool ShouldFail(std::string_view sql);

 private:
  // Relaxed is enough: a test arms before it starts the work it watches.
  std::atomic<int64_t> fail_at_{0};
  std::atomic<int64_t> fail_count_{1};
  std::atomic<int64_t> count_{0};
  std::atomic<bool> has_rule_{false};
  std::mutex rule_mutex_;
  std::function<bool(std::string_view)> rule_;
};

}  // namespace quillor
