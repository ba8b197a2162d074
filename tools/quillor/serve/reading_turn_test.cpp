#include "tools/quillor/serve/reading_turn.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace quillor::serve {
namespace {

using namespace std::chrono_literals;

// Hooks that count what the turn asked of them; run_one and run_for give
// `more` (false: serving is over).
struct TurnCalls {
  std::atomic<int> run_one{0};
  std::atomic<int> run_for{0};
  std::atomic<int> wakes{0};
  std::atomic<bool> more{true};
  std::atomic<bool> idle_worker{false};
};

ReadingTurn::Hooks HooksOf(TurnCalls& c) {
  ReadingTurn::Hooks hooks;
  hooks.run_one = [&c] {
    ++c.run_one;
    return c.more.load();
  };
  hooks.run_for = [&c](std::chrono::milliseconds most) {
    ++c.run_for;
    std::this_thread::sleep_for(most);
    return c.more.load();
  };
  hooks.wake_idle_worker = [&c] {
    if (!c.idle_worker) return false;
    ++c.wakes;
    return true;
  };
  return hooks;
}

// Waits, within a generous bound, for `done`.
template <class Done>
bool WithinBound(Done done) {
  for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(5ms);
  return done();
}

TEST(ReadingTurn, TheTurnStaysWithItsWorkerUntilTheWatchFindsItLeftFree) {
  TurnCalls counts;
  ReadingTurn turn(HooksOf(counts), 2ms);
  EXPECT_TRUE(turn.TryRunOne(0));
  // Kept for worker 0 while it serves what it read: worker 1 sleeps on.
  EXPECT_FALSE(turn.TryRunOne(1));
  EXPECT_TRUE(turn.TryRunOne(0));
  EXPECT_EQ(counts.run_one, 2);

  // Worker 0 stays away (in a long call) with another worker idle: the watch
  // wakes that worker, which may then take the turn, and reads nothing itself.
  counts.idle_worker = true;
  std::thread watch([&] { turn.Watch(); });
  ASSERT_TRUE(WithinBound([&] { return counts.wakes > 0; }));
  EXPECT_TRUE(turn.TryRunOne(1));
  EXPECT_FALSE(turn.TryRunOne(0));  // now kept for worker 1
  EXPECT_EQ(counts.run_for, 0);
  EXPECT_EQ(turn.stints(), 0u);
  turn.Close();
  watch.join();
  EXPECT_FALSE(turn.TryRunOne(1));
}

TEST(ReadingTurn, WithEveryWorkerInACallTheWatchReadsItselfUntilServingIsOver) {
  TurnCalls counts;
  ReadingTurn turn(HooksOf(counts), 2ms);
  EXPECT_TRUE(turn.TryRunOne(0));  // then worker 0 is in a call, and no worker is idle
  std::thread watch([&] { turn.Watch(); });
  ASSERT_TRUE(WithinBound([&] { return turn.stints() >= 3; }));
  EXPECT_EQ(counts.wakes, 0);
  // The events the watch handles say serving is over: the watch returns, and
  // no worker reads any more.
  counts.more = false;
  watch.join();
  EXPECT_TRUE(turn.over());
  const int read = counts.run_one;
  EXPECT_FALSE(turn.TryRunOne(0));
  EXPECT_EQ(counts.run_one, read);
}

TEST(ReadingTurn, AWatchThatDozedOnAnIdleServerWakesWhenTheTurnIsLetGo) {
  TurnCalls counts;
  std::atomic<bool> event{false};
  ReadingTurn::Hooks hooks = HooksOf(counts);
  // Worker 0 holds the turn, waiting for an event, far longer than the fifty
  // ticks after which the watch dozes.
  std::atomic<bool> waiting{false};
  hooks.run_one = [&] {
    waiting = true;
    while (!event) std::this_thread::sleep_for(1ms);
    return true;
  };
  ReadingTurn turn(std::move(hooks), 1ms);
  std::thread reader([&] { turn.TryRunOne(0); });
  ASSERT_TRUE(WithinBound([&] { return waiting.load(); }));
  std::thread watch([&] { turn.Watch(); });
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(turn.stints(), 0u);
  // The event comes and worker 0 goes into a call that does not end: the watch,
  // woken by the turn let go, reads in its place.
  event = true;
  reader.join();
  EXPECT_TRUE(WithinBound([&] { return turn.stints() >= 1; }));
  turn.Close();
  watch.join();
}

}  // namespace
}  // namespace quillor::serve
