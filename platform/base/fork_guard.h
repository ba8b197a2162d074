// A host may fork while other threads of it are inside the library. The child
// gets one thread, and every lock another thread held at that moment stays held
// in it for good: the library's own, the database engine's, the XML parser's.
// So a fork waits until no other thread is inside the library, keeps new calls
// out while it runs, and the handlers added here take and give back the
// library's process-wide locks around it, so that the child inherits none held.
//
// What a call does inside the library holds a ForkGuard: a fork waits for every
// guard held on another thread to go (a guard the forking thread holds itself
// cannot be waited for: see docs/reliability.md). Windows has no fork: there the
// guard and the handlers do nothing.
#pragma once

#include <cstdint>
#include <functional>

namespace quillor {

class ForkGuard {
 public:
  // Waits while a fork is being prepared, unless this thread already holds a
  // guard (a guard within a guard never waits, or the fork would wait for it).
  ForkGuard();
  // A guard is let go of on the thread that took it.
  ~ForkGuard();
  ForkGuard(const ForkGuard&) = delete;
  ForkGuard& operator=(const ForkGuard&) = delete;

 private:
  void* held_here_;  // the taking thread's count of guards
};

// Work around every fork, once no other thread holds a guard: prepare in rising
// rank, then after the fork, in the parent and in the child, in falling rank.
// Handlers run with the guards' own lock held: they must not take a ForkGuard.
enum class ForkRank { kPool = 1, kEngine = 2 };

struct ForkHandlers {
  std::function<void()> prepare;
  std::function<void()> parent;
  std::function<void()> child;
};

// Returns what RemoveForkHandlers takes to remove them again.
uint64_t AddForkHandlers(ForkRank rank, ForkHandlers handlers);
void RemoveForkHandlers(uint64_t id);

}  // namespace quillor
