// A row of ca_mabsw held by another program's open transaction, on PostgreSQL:
// the write of that line fails with 100 once the connection's lock timeout has
// run out, and says why in the trace; a session writing another line is not
// held up, neither by the foreign lock nor by a session stuck on it; the rest of
// a batch goes on.
#include <gmock/gmock.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "testing/scoped_env.h"
#include "platform/db/open_connection.h"
#include "testing/pg_database.h"
#include "testing/reliability_support.h"

namespace quillor::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

class ForeignLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!PgConnectionText()) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
    db_ = std::make_unique<SampleDb>();
    const ParsedReply written = Parse(Send(locked_ + other_));
    ASSERT_EQ(written.items.size(), 2u) << written.message;
    for (const ReplyItem& item : written.items) ASSERT_EQ(item.code, 0) << item.message;
    // The other program: one row of the locked line held in an open transaction.
    holder_ = OpenConnection(db_->ConnectionText());
    holder_->Begin();
    ASSERT_EQ(holder_->Execute("update ca_mabsw set iqua = iqua where cmatid = 'M01'"), 1);
  }

  void TearDown() override {
    if (holder_) holder_->Rollback();
  }

  std::string Send(const std::string& materials, const std::string& settings = "") {
    auto object = MaterialComponent::Create(Release871());
    return testing::Send(*object, AddRequest(materials), db_->ConnectionText() + settings);
  }

  // How many sessions of the server wait for a lock now.
  int64_t Waiting() {
    return std::stoll(
        db_->Rows("select count(*) from pg_stat_activity where wait_event_type = "
                  "'Lock' and query like '%delete from ca_mabsw %'")[0][0]);
  }

  // What every session of the server is doing, for a failure's message.
  std::string Activity() {
    std::string out;
    for (const auto& row : db_->Rows("select coalesce(wait_event_type, '-'), state, left(query, "
                                     "80) from pg_stat_activity")) {
      out += row[0] + " | " + row[1] + " | " + row[2] + "\n";
    }
    return out;
  }

  std::unique_ptr<SampleDb> db_;
  std::unique_ptr<Connection> holder_;
  const std::string locked_ = Material("1", "M01", "3", "4");
  const std::string other_ = Material("2", "M02", "3", "4");
};

TEST_F(ForeignLockTest, TheLockedLineFailsWithinTheLockTimeoutAndTheBatchGoesOn) {
  TempDir dir;
  const std::string trace = (dir.path() / "trace.jsonl").string();
  ScopedEnv traced("QUILLOR_TRACE_SQL", trace.c_str());
  const std::string other_again = Material("2", "M02", "3", "5");
  const auto start = Clock::now();
  const ParsedReply reply = Parse(Send(locked_ + other_again, ";Lock Timeout=500"));
  EXPECT_LT(Clock::now() - start, seconds(15));
  ASSERT_EQ(reply.items.size(), 2u) << reply.message;
  EXPECT_EQ(reply.items[0], (ReplyItem{"1", 100, WriteFailedText()}));
  EXPECT_EQ(reply.items[1], (ReplyItem{"2", 0, SuccessText()}));

  // The trace names the statement that waited, and why it gave up.
  std::ifstream in(trace);
  std::stringstream lines;
  lines << in.rdbuf();
  EXPECT_THAT(lines.str(), ::testing::HasSubstr("lock timeout")) << lines.str();
  EXPECT_THAT(lines.str(), ::testing::HasSubstr("{\"sql\": \"delete from ca_mabsw where "
                                                "cdeptid='D01' and cppid ='1001' and "
                                                "cmatid='M01'"))
      << lines.str();

  // Nothing of the failed line was lost: the holder's row is still the first.
  holder_->Rollback();
  holder_.reset();
  EXPECT_EQ(db_->MaterialRows(),
            (std::vector<std::string>{"D01|1001|M01|B1|2|4|3|8|0", "D01|1001|M02|B1|2|5|3|10|0"}));
}

TEST_F(ForeignLockTest, WithoutALockTimeoutInTheTextTheWaitEndsAfterFiveSeconds) {
  const auto start = Clock::now();
  const ParsedReply reply = Parse(Send(locked_));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, seconds(4));
  EXPECT_LT(waited, seconds(30));
  EXPECT_EQ(reply.items, (std::vector<ReplyItem>{{"1", 100, WriteFailedText()}}));
}

// A session stuck on the foreign lock holds its own line's turn, and nothing
// else: a line of another key is written at once beside it.
TEST_F(ForeignLockTest, AnUnrelatedLineIsWrittenWhileAnotherSessionWaits) {
  std::string stuck_reply;
  // Joined however the test ends; the holder's rollback below ends its wait.
  std::jthread stuck([&] { stuck_reply = Send(locked_, ";Lock Timeout=60000"); });
  const auto deadline = Clock::now() + seconds(20);
  while (Waiting() == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_GE(Waiting(), 1) << Activity();

  // The same wait would run 60 seconds for a line that had to take turns.
  const auto start = Clock::now();
  const ParsedReply other = Parse(Send(Material("2", "M02", "3", "6"), ";Lock Timeout=60000"));
  EXPECT_LT(Clock::now() - start, seconds(20));
  EXPECT_EQ(other.items, (std::vector<ReplyItem>{{"2", 0, SuccessText()}}));

  // The same line from a third session takes its turn after the stuck one.
  const ParsedReply same = Parse(Send(locked_, ";Lock Timeout=300"));
  EXPECT_EQ(same.items, (std::vector<ReplyItem>{{"1", 100, WriteFailedText()}}));

  holder_->Rollback();
  holder_.reset();
  stuck.join();
  EXPECT_EQ(Parse(stuck_reply).items, (std::vector<ReplyItem>{{"1", 0, SuccessText()}}));
  EXPECT_EQ(db_->MaterialRows().size(), 2u);
}

TEST_F(ForeignLockTest, ALockTimeoutThatIsNoNumberIsRefused) {
  for (const char* bad : {"x", "-1", "", "2147483648", "5 s"}) {
    const ParsedReply reply = Parse(Send(other_, std::string(";Lock Timeout=") + bad));
    EXPECT_TRUE(reply.is_error) << bad;
    EXPECT_THAT(reply.message, ::testing::HasSubstr("Lock Timeout must be a whole number")) << bad;
  }
}

}  // namespace
}  // namespace quillor::testing
