#include "platform/db/sqlite/write_turn.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "schema/host_schema.h"
#include "testing/sqlite_host_test.h"

namespace quillor {
namespace {

using namespace std::chrono_literals;
using sqlite::WriteTurns;
using WriteTurnTest = testing::SqliteHostTest;

constexpr const char* kInsert =
    "insert into ca_mabsw (cdeptid, cmatid, cbatch, iperiod) values ('D01', 'M1', 'B1', '5')";

// Whether another connection of the process could take the file's turn now.
bool TurnIsFree(const std::string& path) {
  const auto turn = WriteTurns::ForFile(std::filesystem::canonical(path).string());
  if (!turn->try_lock()) return false;
  turn->unlock();
  return true;
}

TEST_F(WriteTurnTest, HeldFromTheFirstLineToTheEndOfTheOutermostUnit) {
  const struct {
    const char* name;
    void (*after_write)(Connection&);
    bool free_after;
  } cases[] = {
      {"outermost commit", [](Connection& c) { c.Commit(); }, true},
      {"outermost rollback", [](Connection& c) { c.Rollback(); }, true},
      {"inner commit",
       [](Connection& c) {
         c.Begin();
         c.Commit();
       },
       false},
      {"inner rollback",
       [](Connection& c) {
         c.Begin();
         c.Rollback();
       },
       false},
  };
  for (const auto& c : cases) {
    auto conn = OpenConnection(testing::SqliteText(path_));
    conn->TakeLineTurn("x");  // outside a unit: nothing to hold
    EXPECT_TRUE(TurnIsFree(path_)) << c.name;
    conn->Begin();
    EXPECT_TRUE(TurnIsFree(path_)) << c.name << ": before the first line";
    conn->TakeLineTurn("x");
    conn->Execute(kInsert);
    EXPECT_FALSE(TurnIsFree(path_)) << c.name << ": while writing";
    c.after_write(*conn);
    EXPECT_EQ(TurnIsFree(path_), c.free_after) << c.name;
    conn.reset();  // a connection that goes while holding it gives it back
    EXPECT_TRUE(TurnIsFree(path_)) << c.name << ": after the connection closed";
  }
}

TEST_F(WriteTurnTest, ASecondWriterWaitsForTheFirstToCommitAndThenWrites) {
  auto first = OpenConnection(testing::SqliteText(path_) + ";Busy Timeout=60000");
  auto second = OpenConnection(testing::SqliteText(path_) + ";Busy Timeout=60000");
  std::mutex mutex;
  std::vector<std::string> events;
  auto note = [&](const char* event) {
    const std::lock_guard lock(mutex);
    events.push_back(event);
  };
  first->Begin();
  first->TakeLineTurn("a");
  first->Execute(kInsert);
  std::thread other([&] {
    second->Begin();
    second->TakeLineTurn("b");
    note("second has the turn");
    second->Execute(kInsert);
    second->Commit();
  });
  std::this_thread::sleep_for(200ms);  // room for a second writer that does not wait
  note("first commits");
  first->Commit();
  other.join();
  EXPECT_EQ(events, (std::vector<std::string>{"first commits", "second has the turn"}));
  auto rows = conn_->Open("select cmatid from ca_mabsw", CursorType::kStatic);
  EXPECT_EQ(rows->RecordCount(), 2);
}

TEST(WriteTurns, OneTurnAFile) {
  EXPECT_EQ(WriteTurns::ForFile("/srv/a.db"), WriteTurns::ForFile("/srv/a.db"));
  EXPECT_NE(WriteTurns::ForFile("/srv/a.db"), WriteTurns::ForFile("/srv/b.db"));
}

}  // namespace
}  // namespace quillor
