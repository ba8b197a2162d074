#include "platform/sqlite/sqlite_faults.h"

#include <sqlite3.h>

#include <atomic>

#include "platform/sqlite/sqlite_error.h"

namespace quillor::sqlite::faults {
namespace {

std::atomic<bool> g_read_only{false};

}  // namespace

StatementFaults& Statements() {
  static StatementFaults plan;
  return plan;
}

void FailStatement(int64_t n, int64_t count) { Statements().FailStatement(n, count); }

void OpenReadOnly(bool on) { g_read_only.store(on, std::memory_order_relaxed); }

void Reset() {
  Statements().Reset();
  g_read_only.store(false, std::memory_order_relaxed);
}

int64_t StatementsRun() { return Statements().StatementsRun(); }

void BeforeStatement(std::string_view sql) {
  if (Statements().ShouldFail(sql)) {
    throw FailureFromSqlite(SQLITE_IOERR, "disk I/O error (injected)");
  }
}

bool ReadOnlyRequested() { return g_read_only.load(std::memory_order_relaxed); }

}  // namespace quillor::sqlite::faults
