// Faults the SQLite backend can be told to produce, so that tests and the fuzz
// targets can try the ways a statement or a connection fails in the field: a
// statement refused mid-batch, a connection lost mid-way, a read-only database.
// Nothing is armed unless a test arms it; the settings are process-wide. Built
// into the test programs only: the shipped libraries carry none of it. The
// statements fail by the plan every fault test uses (StatementFaults).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/db/statement_faults.h"

namespace quillor::sqlite::faults {

inline constexpr int64_t kForever = StatementFaults::kForever;

// The backend's plan: FailStatement below, or a rule with Statements().FailWhen.
StatementFaults& Statements();

// The nth statement the backend runs from now on (1 = the next one), on any
// thread, fails as a disk I/O error would, and so do the count - 1 after it;
// kForever fails every statement from the nth on, as on a connection that was
// lost. An n of 0 disarms.
void FailStatement(int64_t n, int64_t count = 1);

// Connections opened from now on open the database read-only, as a file without
// write permission opens.
void OpenReadOnly(bool on);

// Disarms everything and starts counting statements afresh.
void Reset();

// Statements the backend has run (or refused) since the last Reset or FailStatement.
int64_t StatementsRun();

// Disarms on destruction, so a failing test leaves nothing armed.
class Scope {
 public:
  Scope() { Reset(); }
  ~Scope() { Reset(); }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

}  // namespace quillor::sqlite::faults
