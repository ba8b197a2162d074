#include "platform/db/sqlite/sqlite_fork.h"

#include <sqlite3.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/base/fork_guard.h"

namespace quillor::sqlite {
namespace {

// Every static mutex this SQLite has (OPEN shares its number with the unused
// MEM2, PMEM with LRU2).
constexpr int kStaticMutexes[] = {
    SQLITE_MUTEX_STATIC_MAIN, SQLITE_MUTEX_STATIC_MEM,  SQLITE_MUTEX_STATIC_OPEN,
    SQLITE_MUTEX_STATIC_PRNG, SQLITE_MUTEX_STATIC_LRU,  SQLITE_MUTEX_STATIC_PMEM,
    SQLITE_MUTEX_STATIC_APP1, SQLITE_MUTEX_STATIC_APP2, SQLITE_MUTEX_STATIC_APP3,
    SQLITE_MUTEX_STATIC_VFS1, SQLITE_MUTEX_STATIC_VFS2, SQLITE_MUTEX_STATIC_VFS3};

// Rounds of tries before entering them one after another, waiting on each.
constexpr int kTryRounds = 2000;

std::vector<sqlite3_mutex*>& Mutexes() {
  // Destroyed with the library, after the handlers that use it.
  static std::vector<sqlite3_mutex*> mutexes;
  return mutexes;
}

void LeaveFirst(size_t count) {
  while (count > 0) sqlite3_mutex_leave(Mutexes()[--count]);
}

// SQLite takes some of them while holding others, in orders of its own: all are
// tried, and when one is busy, those entered are left and the round begins again,
// so that no order of ours can meet one of SQLite's the other way round.
void EnterAll() {
  const std::vector<sqlite3_mutex*>& all = Mutexes();
  for (int round = 0; round < kTryRounds; ++round) {
    size_t entered = 0;
    while (entered < all.size() && sqlite3_mutex_try(all[entered]) == SQLITE_OK) ++entered;
    if (entered == all.size()) return;
    LeaveFirst(entered);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  // A build whose tries always fail: enter them waiting, in the order listed.
  for (sqlite3_mutex* mutex : all) sqlite3_mutex_enter(mutex);
}

void LeaveAll() { LeaveFirst(Mutexes().size()); }

}  // namespace

void HoldEngineLocksAcrossForks() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (sqlite3_initialize() != SQLITE_OK) return;  // the open then fails on its own
    for (const int id : kStaticMutexes) {
      // None in a build without threads: nothing to hold then.
      if (sqlite3_mutex* mutex = sqlite3_mutex_alloc(id)) Mutexes().push_back(mutex);
    }
    AddForkHandlers(ForkRank::kEngine, {EnterAll, LeaveAll, LeaveAll});
  });
}

}  // namespace quillor::sqlite
