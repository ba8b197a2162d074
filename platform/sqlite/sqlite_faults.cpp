#include "platform/sqlite/sqlite_faults.h"

#include <sqlite3.h>

#include <atomic>

#include "platform/sqlite/sqlite_error.h"

namespace quillor::sqlite::faults {
namespace {

// Relaxed is enough: a test arms before it starts the work it watches.
std::atomic<int64_t> g_fail_at{0};
std::atomic<int64_t> g_fail_count{1};
std::atomic<bool> g_read_only{false};
std::atomic<int64_t> g_count{0};

}  // namespace

void FailStatement(int64_t n, int64_t count) {
  g_fail_at.store(0, std::memory_order_relaxed);
  g_count.store(0, std::memory_order_relaxed);
  g_fail_count.store(count, std::memory_order_relaxed);
  g_fail_at.store(n < 0 ? 0 : n, std::memory_order_relaxed);
}

void OpenReadOnly(bool on) { g_read_only.store(on, std::memory_order_relaxed); }

void Reset() {
  g_fail_at.store(0, std::memory_order_relaxed);
  g_fail_count.store(1, std::memory_order_relaxed);
  g_read_only.store(false, std::memory_order_relaxed);
  g_count.store(0, std::memory_order_relaxed);
}

int64_t StatementsRun() { return g_count.load(std::memory_order_relaxed); }

void BeforeStatement() {
  const int64_t number = g_count.fetch_add(1, std::memory_order_relaxed) + 1;
  const int64_t fail_at = g_fail_at.load(std::memory_order_relaxed);
  if (fail_at == 0) return;
  const int64_t count = g_fail_count.load(std::memory_order_relaxed);
  if (number >= fail_at && (count == kForever || number < fail_at + count)) {
    throw FailureFromSqlite(SQLITE_IOERR, "disk I/O error (injected)");
  }
}

bool ReadOnlyRequested() { return g_read_only.load(std::memory_order_relaxed); }

}  // namespace quillor::sqlite::faults
