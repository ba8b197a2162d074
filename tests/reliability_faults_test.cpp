// Injected database faults: whichever statement of a batch fails, and however
// many after it, the reply says what happened and the material table holds exactly
// what the reply reports as written - nothing lost, nothing doubled, the rows
// written before the fault kept.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_faults.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "schema/host_schema.h"
#include "testing/reliability_support.h"

namespace quillor::testing {
namespace {

namespace faults = sqlite::faults;

constexpr const char* kInjected = "[SQLite] disk I/O error (injected)";
constexpr const char* kFailNumber = "-2147467259";

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The row each element writes on its own, as the table shows it.
    for (const std::string& element : elements_) {
      Clear();
      SendClean(AddRequest(element));
      const auto rows = db_.MaterialRows();
      ASSERT_EQ(rows.size(), 1u);
      rows_.push_back(rows[0]);
    }
    Clear();
    SendClean(AddRequest(earlier_));
    ASSERT_EQ(db_.MaterialRows().size(), 1u);
    earlier_row_ = db_.MaterialRows()[0];
    // How many statements a batch runs when nothing fails.
    faults::Reset();
    const ParsedReply clean = Parse(SendClean(batch_));
    clean_statements_ = faults::StatementsRun();
    ASSERT_EQ(clean.items.size(), 3u);
    for (const ReplyItem& item : clean.items) ASSERT_EQ(item.code, 0) << item.message;
  }

  void Clear() { db_.Run("delete from ca_mabsw"); }

  // The table as it stood before the batch: only the earlier version of element 2.
  void Restore() {
    faults::Reset();
    Clear();
    SendClean(AddRequest(earlier_));
  }

  std::string SendClean(const std::string& request) {
    auto object = MaterialComponent::Create(Release871());
    return Send(*object, request, db_.ConnectionText());
  }

  // The rows the reply's item results call for.
  std::vector<std::string> Expected(const ParsedReply& reply) {
    std::vector<std::string> rows;
    const auto written = [&](size_t i) {
      return i < reply.items.size() && reply.items[i].code == 0;
    };
    if (written(0)) rows.push_back(rows_[0]);
    rows.push_back(written(1) ? rows_[1] : earlier_row_);
    if (written(2)) rows.push_back(rows_[2]);
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  void CheckRun(const std::string& reply_text, const std::string& label) {
    SCOPED_TRACE(label);
    const ParsedReply reply = Parse(reply_text);
    ASSERT_TRUE(reply.parses) << reply_text;
    std::vector<std::string> actual = db_.MaterialRows();
    std::sort(actual.begin(), actual.end());
    if (reply.is_error) {
      // The connection or the options failed: nothing ran.
      seen_.insert("error");
      EXPECT_EQ(reply.code, kFailNumber);
      EXPECT_EQ(reply.message, kInjected);
      EXPECT_EQ(actual, std::vector<std::string>{earlier_row_});
      return;
    }
    ASSERT_LE(reply.items.size(), 3u);
    for (size_t i = 0; i < reply.items.size(); ++i) {
      const ReplyItem& item = reply.items[i];
      seen_.insert(std::to_string(item.code));
      switch (item.code) {
        case 0:
          EXPECT_EQ(item.id, std::to_string(i + 1));
          EXPECT_EQ(item.message, SuccessText());
          break;
        case 100:
          EXPECT_EQ(item.id, std::to_string(i + 1));
          EXPECT_EQ(item.message, WriteFailedText());
          break;
        case 999:
          // The batch ends with it.
          EXPECT_EQ(item.id, "Item");
          EXPECT_EQ(item.message, kInjected);
          EXPECT_EQ(i + 1, reply.items.size());
          break;
        default:
          ADD_FAILURE() << "code " << item.code << ": " << item.message;
      }
    }
    const bool ended = !reply.items.empty() && reply.items.back().code == 999;
    if (!ended) {
      EXPECT_EQ(reply.items.size(), 3u);
    }
    EXPECT_EQ(actual, Expected(reply));
  }

  SampleDb db_{TestDb::Engine::kSqlite};  // the faults are injected into SQLite
  const std::string earlier_ = Material("2", "M02", "4", "7");
  const std::vector<std::string> elements_{Material("1", "M01", "3", "4"),
                                           Material("2", "M02", "4", "5"),
                                           Material("3", "M03", "5", "6")};
  const std::string batch_ = AddRequest(elements_[0] + elements_[1] + elements_[2]);
  std::vector<std::string> rows_;
  std::string earlier_row_;
  int64_t clean_statements_ = 0;
  std::set<std::string> seen_;
  faults::Scope scope_;
};

TEST_F(FaultTest, EveryStatementOfABatchMayFail) {
  ASSERT_GT(clean_statements_, 10);
  for (const int64_t count : {int64_t{1}, int64_t{2}, int64_t{3}, faults::kForever}) {
    for (int64_t n = 1; n <= clean_statements_ + 1; ++n) {
      Restore();
      faults::FailStatement(n, count);
      auto object = MaterialComponent::Create(Release871());
      const std::string reply = Send(*object, batch_, db_.ConnectionText());
      faults::Reset();
      CheckRun(reply, "statement " + std::to_string(n) + ", count " + std::to_string(count));
    }
  }
  // The runs went through every kind of outcome.
  EXPECT_EQ(seen_, (std::set<std::string>{"error", "0", "100", "999"}));
}

TEST_F(FaultTest, AnObjectRecoversAfterAFault) {
  auto object = MaterialComponent::Create(Release871());
  Restore();
  faults::FailStatement(1, faults::kForever);
  const ParsedReply failed = Parse(Send(*object, batch_, db_.ConnectionText()));
  EXPECT_TRUE(failed.is_error);
  faults::Reset();
  // The same object, the next call: every element written.
  const ParsedReply next = Parse(Send(*object, batch_, db_.ConnectionText()));
  ASSERT_EQ(next.items.size(), 3u);
  for (const ReplyItem& item : next.items) EXPECT_EQ(item.code, 0);
  std::vector<std::string> actual = db_.MaterialRows();
  std::sort(actual.begin(), actual.end());
  std::vector<std::string> all = rows_;
  std::sort(all.begin(), all.end());
  EXPECT_EQ(actual, all);
}

TEST_F(FaultTest, AReadOnlyDatabaseRefusesEveryWrite) {
  Restore();
  faults::OpenReadOnly(true);
  const ParsedReply reply = Parse(SendClean(batch_));
  faults::Reset();
  ASSERT_FALSE(reply.is_error);
  ASSERT_EQ(reply.items.size(), 3u);
  for (const ReplyItem& item : reply.items) {
    EXPECT_EQ(item.code, 100);
    EXPECT_EQ(item.message, WriteFailedText());
  }
  EXPECT_EQ(db_.MaterialRows(), std::vector<std::string>{earlier_row_});
}

TEST_F(FaultTest, AFileWithoutWritePermissionRefusesEveryWrite) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  Restore();
  const std::string file = (db_.dir() / "host.db").string();
  ASSERT_EQ(chmod(file.c_str(), 0444), 0);
  const ParsedReply reply = Parse(SendClean(batch_));
  chmod(file.c_str(), 0644);
  ASSERT_TRUE(reply.parses);
  if (!reply.is_error) {
    ASSERT_EQ(reply.items.size(), 3u);
    for (const ReplyItem& item : reply.items) EXPECT_EQ(item.code, 100);
  }
  EXPECT_EQ(db_.MaterialRows(), std::vector<std::string>{earlier_row_});
}

// Another connection holds the write lock longer than the busy timeout.
TEST_F(FaultTest, ALockHeldBeyondTheBusyTimeoutFailsEachWrite) {
  Restore();
  auto holder = OpenConnection(db_.ConnectionText());
  holder->Begin();
  holder->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D02', 'M03', 9)");

  const auto start = std::chrono::steady_clock::now();
  auto object = MaterialComponent::Create(Release871());
  const ParsedReply reply =
      Parse(Send(*object, batch_, db_.ConnectionText() + ";Busy Timeout=100"));
  // The connection's busy timeout is the one honoured, once per write.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ASSERT_FALSE(reply.is_error) << reply.message;
  ASSERT_EQ(reply.items.size(), 3u);
  for (const ReplyItem& item : reply.items) {
    EXPECT_EQ(item.code, 100);
    EXPECT_EQ(item.message, WriteFailedText());
  }
  holder->Commit();
  holder.reset();
  const auto rows = db_.MaterialRows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], earlier_row_);
  EXPECT_EQ(rows[1], "D02|NULL|M03||NULL|NULL|9|NULL|NULL");
}

// Another connection holds the database exclusively, readers included: the
// connection cannot be opened, and the reply says so.
TEST(ExclusiveLockTest, ADatabaseHeldExclusivelyFailsTheConnection) {
  TempDir dir;
  const std::string text = "Provider=SQLite;Data Source=" + (dir.path() / "host.db").string();
  CreateSqliteDatabaseFile((dir.path() / "host.db").string());
  {
    auto setup = OpenConnection(text);
    CreateHostTables(*setup);
    InsertSampleData(*setup);
  }
  auto holder = OpenConnection(text);
  holder->Execute("pragma locking_mode=exclusive");
  holder->Begin();
  holder->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D02', 'M03', 9)");
  holder->Commit();  // the lock stays until the holder closes

  auto object = MaterialComponent::Create(Release871());
  const std::string request = AddRequest(Material("1", "M01", "3", "4"));
  const ParsedReply reply = Parse(Send(*object, request, text + ";Busy Timeout=100"));
  EXPECT_TRUE(reply.is_error);
  EXPECT_EQ(reply.code, kFailNumber);
  EXPECT_EQ(reply.message, "[SQLite] database is locked");
  holder.reset();

  // Once the holder is gone the same object writes again, and the holder's row stays.
  EXPECT_EQ(Parse(Send(*object, request, text)).items,
            (std::vector<ReplyItem>{{"1", 0, SuccessText()}}));
  auto check = OpenConnection(text);
  auto rs = check->Open("select count(*) from ca_mabsw", CursorType::kForwardOnly);
  EXPECT_EQ(rs->Value(0).Integer(), 2);
}

}  // namespace
}  // namespace quillor::testing

namespace quillor::testing {
namespace {

// A unit whose rollback fails must not leave its transaction open: the next unit
// on the connection would then nest inside it, report success, and lose its rows
// when the connection closes.
TEST(UnitOfWorkFaultTest, AFailedRollbackDoesNotSwallowTheNextCommit) {
  sqlite::faults::Scope scope;
  TestDb db{TestDb::Engine::kSqlite};
  {
    auto conn = OpenConnection(db.ConnectionText());
    conn->Begin();
    conn->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'lost', 1)");
    sqlite::faults::FailStatement(1, 2);  // "rollback to" and the release after it
    EXPECT_THROW(conn->Rollback(), Failure);
    sqlite::faults::Reset();
    conn->Begin();
    conn->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'kept', 2)");
    conn->Commit();
  }
  EXPECT_EQ(db.Rows("select cMatID from ca_mabsw"),
            (std::vector<std::vector<std::string>>{{"kept"}}));
}

TEST(UnitOfWorkFaultTest, AnOuterUnitCannotCommitAnInnerUnitThatFailedToRollBack) {
  sqlite::faults::Scope scope;
  TestDb db{TestDb::Engine::kSqlite};
  auto conn = OpenConnection(db.ConnectionText());
  conn->Begin();
  conn->Begin();
  conn->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'inner', 1)");
  sqlite::faults::FailStatement(1);
  EXPECT_THROW(conn->Rollback(), Failure);
  sqlite::faults::Reset();
  EXPECT_THROW(conn->Commit(), Failure);
  conn->Rollback();
  EXPECT_TRUE(db.Rows("select cMatID from ca_mabsw").empty());
}

}  // namespace
}  // namespace quillor::testing
