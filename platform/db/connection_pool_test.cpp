#include "platform/db/connection_pool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "platform/base/failure.h"

namespace quillor {
namespace {

using std::chrono::seconds;
using TimePoint = std::chrono::steady_clock::time_point;

// A connection that says whether it can be kept and whether it still serves, and
// records its closing.
struct FakeState {
  int id = 0;
  bool resettable = true;
  bool usable = true;
  bool throws_on_check = false;
  bool kept_across_fork = true;
  int resets = 0;
  bool closed = false;
};

class TrackedConnection final : public Connection {
 public:
  explicit TrackedConnection(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
  ~TrackedConnection() override { state_->closed = true; }
  std::unique_ptr<Recordset> Open(std::string_view, CursorType) override { return nullptr; }
  int64_t Execute(std::string_view) override { return state_->id; }
  void Begin() override {}
  void Commit() override {}
  void Rollback() override {}
  bool ResetForReuse() override {
    ++state_->resets;
    return state_->resettable;
  }
  bool StillUsable() override {
    if (state_->throws_on_check) throw Failure(failure_numbers::kFail, "check failed");
    return state_->usable;
  }
  bool KeptAcrossFork() const override { return state_->kept_across_fork; }

 private:
  std::shared_ptr<FakeState> state_;
};

class PoolTest : public ::testing::Test {
 protected:
  ConnectionPool MakePool(ConnectionPool::Bounds bounds = {}) {
    return ConnectionPool(
        [this](const ConnectionText& text) -> std::unique_ptr<Connection> {
          if (refuse_open_) throw Failure(failure_numbers::kFail, "cannot open");
          opened_texts_.emplace_back(text.text());
          auto state = std::make_shared<FakeState>();
          state->id = static_cast<int>(states_.size()) + 1;
          states_.push_back(state);
          return std::make_unique<TrackedConnection>(state);
        },
        [this] { return now_; }, bounds);
  }

  // Which opened connection a lease is: the fake's Execute answers its id.
  static int64_t Id(Connection& conn) { return conn.Execute(""); }

  std::vector<std::shared_ptr<FakeState>> states_;
  std::vector<std::string> opened_texts_;
  TimePoint now_{};
  bool refuse_open_ = false;
};

const std::string kText = "Provider=SQLite;Data Source=/tmp/a.db";

TEST_F(PoolTest, AConnectionGivenBackServesTheNextCallWithTheSameTextReset) {
  ConnectionPool pool = MakePool();
  {
    auto first = pool.Acquire(kText);
    EXPECT_EQ(Id(*first), 1);
    EXPECT_EQ(pool.Counts().busy, 1u);
    EXPECT_EQ(pool.Counts().idle, 0u);
  }
  EXPECT_EQ(states_[0]->resets, 1);
  EXPECT_FALSE(states_[0]->closed);
  EXPECT_EQ(pool.Counts().idle, 1u);
  {
    auto again = pool.Acquire(kText);
    EXPECT_EQ(Id(*again), 1);
    // Another text, even one that differs only in letter case, is another key.
    auto other = pool.Acquire("provider=SQLite;Data Source=/tmp/a.db");
    EXPECT_EQ(Id(*other), 2);
    const PoolCounts counts = pool.Counts();
    EXPECT_EQ(counts.busy, 2u);
    EXPECT_EQ(counts.opened, 2u);
    EXPECT_EQ(counts.reused, 1u);
  }
  EXPECT_EQ(pool.Counts().idle, 2u);
  EXPECT_EQ(opened_texts_.size(), 2u);
}

TEST_F(PoolTest, ABrokenIdleConnectionIsClosedAndNeverHandedOut) {
  ConnectionPool pool = MakePool();
  { auto a = pool.Acquire(kText), b = pool.Acquire(kText); }
  states_[0]->usable = false;
  states_[1]->throws_on_check = true;
  auto conn = pool.Acquire(kText);
  EXPECT_EQ(Id(*conn), 3);
  EXPECT_TRUE(states_[0]->closed);
  EXPECT_TRUE(states_[1]->closed);
  EXPECT_EQ(pool.Counts().discarded, 2u);
  EXPECT_EQ(pool.Counts().idle, 0u);
}

TEST_F(PoolTest, AConnectionThatCannotBeResetIsClosedNotKept) {
  ConnectionPool pool = MakePool();
  {
    auto conn = pool.Acquire(kText);
    states_[0]->resettable = false;
  }
  EXPECT_TRUE(states_[0]->closed);
  EXPECT_EQ(pool.Counts().idle, 0u);
  EXPECT_EQ(pool.Counts().busy, 0u);
  EXPECT_EQ(Id(*pool.Acquire(kText)), 2);
}

TEST_F(PoolTest, PoolingFalseOpensForTheCallAloneAndTheDatabaseNeverSeesTheKey) {
  ConnectionPool pool = MakePool();
  const std::string text = "Driver={PostgreSQL Unicode};Server=h;pooling = False ;UID=u;PWD={a;b}";
  { auto conn = pool.Acquire(text); }
  EXPECT_TRUE(states_[0]->closed);
  EXPECT_EQ(states_[0]->resets, 0);
  { auto conn = pool.Acquire(text); }
  ASSERT_EQ(opened_texts_.size(), 2u);
  EXPECT_EQ(opened_texts_[0], "Driver={PostgreSQL Unicode};Server=h;UID=u;PWD={a;b}");
  const PoolCounts counts = pool.Counts();
  EXPECT_EQ(counts.idle + counts.busy + counts.opened + counts.reused, 0u);
}

TEST_F(PoolTest, ThePoolsKeysAreTakenOutWhereverTheyStand) {
  struct Case {
    std::string text, database_text;
    bool pooling;
    seconds idle;
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=x", "Provider=SQLite;Data Source=x", true, seconds(60)},
      {"Pooling=true;DSN=erp", "DSN=erp", true, seconds(60)},
      {"DSN=erp;Pooling=no", "DSN=erp;", false, seconds(60)},
      {"DSN=erp;Pool Idle Timeout=5;UID=u", "DSN=erp;UID=u", true, seconds(5)},
      {"DSN=erp; POOLING=YES ;PWD='x;y'", "DSN=erp;PWD='x;y'", true, seconds(60)},
      // A text the pool cannot read as pairs goes to the driver as it is, pooled.
      {"DSN=erp;PWD={open", "DSN=erp;PWD={open", true, seconds(60)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const PoolSettings s = ReadPoolSettings(c.text);
    EXPECT_EQ(s.database.text(), c.database_text);
    EXPECT_EQ(s.pooling, c.pooling);
    EXPECT_EQ(s.idle_time, c.idle);
  }
  for (const char* bad : {"DSN=erp;Pooling=maybe", "DSN=erp;Pooling=", "DSN=e;Pool Idle Timeout=-1",
                          "DSN=e;Pool Idle Timeout=1.5"}) {
    EXPECT_THROW(ReadPoolSettings(bad), Failure) << bad;
  }
}

TEST_F(PoolTest, AnIdleConnectionIsClosedOnceItsIdleTimeHasPassed) {
  ConnectionPool pool = MakePool();
  const std::string short_lived = kText + ";Pool Idle Timeout=5";
  { auto a = pool.Acquire(kText), b = pool.Acquire(short_lived); }
  now_ += seconds(4);
  { auto b = pool.Acquire(short_lived); }  // given back again: its time starts afresh
  EXPECT_EQ(states_[1]->closed, false);
  now_ += seconds(5);
  EXPECT_EQ(pool.Counts().idle, 1u);  // the short-lived one went when its 5 s were up
  EXPECT_TRUE(states_[1]->closed);
  now_ += seconds(50);  // 59 s after the first was given back
  EXPECT_EQ(Id(*pool.Acquire(kText)), 1);
  now_ += seconds(60);  // idle for exactly 60 s: gone, and a new one opened
  EXPECT_EQ(Id(*pool.Acquire(kText)), 3);
  EXPECT_TRUE(states_[0]->closed);
}

TEST_F(PoolTest, AnIdleTimeOfZeroKeepsNothing) {
  ConnectionPool pool = MakePool();
  { auto conn = pool.Acquire(kText + ";Pool Idle Timeout=0"); }
  EXPECT_TRUE(states_[0]->closed);
}

TEST_F(PoolTest, BeyondItsBoundsThePoolClosesTheOldestIdleConnections) {
  ConnectionPool pool = MakePool({.idle_per_text = 2, .idle_in_all = 3});
  {
    auto a1 = pool.Acquire("A"), a2 = pool.Acquire("A"), a3 = pool.Acquire("A");
    a1.reset();
    now_ += seconds(1);
    a2.reset();
    now_ += seconds(1);
  }                                 // a3 given back last
  EXPECT_TRUE(states_[0]->closed);  // a1, the oldest of A
  EXPECT_EQ(pool.Counts().idle, 2u);
  { auto b = pool.Acquire("B"), c = pool.Acquire("C"); }
  EXPECT_TRUE(states_[1]->closed);  // a2, now the oldest of all
  EXPECT_FALSE(states_[2]->closed);
  EXPECT_EQ(pool.Counts().idle, 3u);
}

TEST_F(PoolTest, AFailedOpenIsTheCallersFailureAndCountsNothingBusy) {
  ConnectionPool pool = MakePool();
  refuse_open_ = true;
  EXPECT_THROW(pool.Acquire(kText), Failure);
  EXPECT_EQ(pool.Counts().busy, 0u);
}

TEST_F(PoolTest, ThePoolClosesItsIdleConnectionsWhenItEndsAndTheRestWhenGivenBack) {
  std::unique_ptr<Connection> out;
  {
    ConnectionPool pool = MakePool();
    { auto idle = pool.Acquire(kText); }
    out = pool.Acquire("other");
  }
  EXPECT_TRUE(states_[0]->closed);
  EXPECT_FALSE(states_[1]->closed);
  out.reset();
  EXPECT_TRUE(states_[1]->closed);
}

TEST_F(PoolTest, AChildProcessNeverUsesOrClosesItsParentsConnections) {
  ConnectionPool pool = MakePool();
  { auto conn = pool.Acquire(kText); }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto conn = pool.Acquire(kText);
    const bool fresh = Id(*conn) == 2 && !states_[0]->closed;
    _exit(fresh ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Id(*pool.Acquire(kText)), 1);
}

TEST_F(PoolTest, AForkClosesTheIdleConnectionsAChildMustNotInheritAndTheChildLeavesTheRest) {
  ConnectionPool pool = MakePool();
  const std::string kept_text = "DSN=server";
  {
    auto engine_locked = pool.Acquire(kText);
    auto kept = pool.Acquire(kept_text);
    states_[0]->kept_across_fork = false;
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Both texts open afresh; the parent's server connection stays open, unused.
    const bool fresh = Id(*pool.Acquire(kText)) == 3 && Id(*pool.Acquire(kept_text)) == 4 &&
                       states_[0]->closed && !states_[1]->closed && states_[1]->resets == 1;
    _exit(fresh ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(states_[0]->closed);
  EXPECT_EQ(Id(*pool.Acquire(kept_text)), 2);
  EXPECT_EQ(pool.Counts().discarded, 1u);
}

}  // namespace
}  // namespace quillor
