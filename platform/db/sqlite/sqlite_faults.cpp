#include "platform/db/sqlite/sqlite_faults.h"

#include <sqlite3.h>

#include <atomic>

#include "platform/db/sqlite/sqlite_error.h"
#include "platform/db/sqlite/sqlite_hooks.h"

#if !QUILLOR_TEST_HOOKS
#error "the fault plan is for builds with the test hooks (QUILLOR_TEST_HOOKS)"
#endif

namespace quillor::sqlite::faults {
namespace {

// The plan, installed into the backend the first time a test reaches for it.
class FaultHooks final : public SqliteHooks {
 public:
  ~FaultHooks() { InstallHooks(nullptr); }

  void BeforeStatement(std::string_view sql) override {
    if (plan.ShouldFail(sql)) throw FailureFromSqlite(SQLITE_IOERR, "disk I/O error (injected)");
  }
  bool OpenReadOnly() const override { return read_only.load(std::memory_order_relaxed); }

  StatementFaults plan;
  std::atomic<bool> read_only{false};
};

FaultHooks& Installed() {
  static FaultHooks* const hooks = [] {
    static FaultHooks instance;
    InstallHooks(&instance);
    return &instance;
  }();
  return *hooks;
}

}  // namespace

StatementFaults& Statements() { return Installed().plan; }

void FailStatement(int64_t n, int64_t count) { Statements().FailStatement(n, count); }

void OpenReadOnly(bool on) { Installed().read_only.store(on, std::memory_order_relaxed); }

void Reset() {
  Statements().Reset();
  Installed().read_only.store(false, std::memory_order_relaxed);
}

int64_t StatementsRun() { return Statements().StatementsRun(); }

}  // namespace quillor::sqlite::faults
