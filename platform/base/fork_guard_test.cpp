#include "platform/base/fork_guard.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillor {
namespace {

// Forks; the child runs body and exits 0 when it returns true. True when it did.
template <typename Body>
bool ChildSucceeds(Body body) {
  const pid_t child = fork();
  if (child == 0) _exit(body() ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

struct Recorder {
  std::vector<std::string> steps;
  std::vector<uint64_t> ids;
  void Add(ForkRank rank, const std::string& name) {
    ids.push_back(AddForkHandlers(rank, {[this, name] { steps.push_back(name + " prepare"); },
                                         [this, name] { steps.push_back(name + " parent"); },
                                         [this, name] { steps.push_back(name + " child"); }}));
  }
  ~Recorder() {
    for (const uint64_t id : ids) RemoveForkHandlers(id);
  }
};

TEST(ForkGuardTest, HandlersPrepareInRisingRankAndFinishInFallingRankInBothProcesses) {
  Recorder recorder;
  recorder.Add(ForkRank::kEngine, "engine");
  recorder.Add(ForkRank::kPool, "pool");
  const std::vector<std::string> before = {"pool prepare", "engine prepare"};
  EXPECT_TRUE(ChildSucceeds([&] {
    std::vector<std::string> expected = before;
    expected.insert(expected.end(), {"engine child", "pool child"});
    return recorder.steps == expected;
  }));
  std::vector<std::string> expected = before;
  expected.insert(expected.end(), {"engine parent", "pool parent"});
  EXPECT_EQ(recorder.steps, expected);

  // Removed handlers no longer run.
  for (const uint64_t id : recorder.ids) RemoveForkHandlers(id);
  recorder.ids.clear();
  recorder.steps.clear();
  EXPECT_TRUE(ChildSucceeds([] { return true; }));
  EXPECT_TRUE(recorder.steps.empty());
}

TEST(ForkGuardTest, AForkWaitsUntilAGuardHeldOnAnotherThreadIsLetGo) {
  std::atomic<bool> prepared{false};
  const uint64_t id = AddForkHandlers(ForkRank::kPool, {[&] { prepared = true; }, {}, {}});
  std::atomic<bool> holding{false};
  std::atomic<bool> forking{false};
  bool prepared_while_held = true;
  std::thread holder([&] {
    const ForkGuard guard;
    holding = true;
    while (!forking) std::this_thread::yield();
    // Time for the fork to reach its handlers, were it not waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    prepared_while_held = prepared;
  });
  while (!holding) std::this_thread::yield();
  std::thread forker([&] {
    forking = true;
    EXPECT_TRUE(ChildSucceeds([] { return true; }));
  });
  holder.join();
  forker.join();
  RemoveForkHandlers(id);
  EXPECT_FALSE(prepared_while_held);
  EXPECT_TRUE(prepared);
}

TEST(ForkGuardTest, AThreadHoldingAGuardForksAndItsChildTakesGuardsOnAnyThread) {
  const ForkGuard mine;
  const ForkGuard nested;  // a guard within a guard never waits
  EXPECT_TRUE(ChildSucceeds([] {
    std::thread other([] { const ForkGuard guard; });
    other.join();
    return true;
  }));
  // And the parent's other threads go on taking them after the fork.
  std::thread other([] { const ForkGuard guard; });
  other.join();
}

}  // namespace
}  // namespace quillor
