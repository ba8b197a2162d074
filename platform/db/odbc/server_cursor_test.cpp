// Results read through a cursor on the PostgreSQL server: the same rows and
// counts as a result read whole, whatever the length against the block; no
// cursor left behind on any path; a unit of work around it undisturbed.
#include "platform/db/odbc/server_cursor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "platform/db/sql_trace.h"
#include "testing/expect_failure.h"
#include "testing/pg_schema_test.h"
#include "testing/temp_dir.h"
#include "testing/test_db.h"

namespace quillor {
namespace {

using testing::FailureOf;
using testing::PgConnectionText;

constexpr int kBlock = 4;

TEST(CursorCanRead, QueriesThatStandAloneOnly) {
  for (const char* sql :
       {"select 1", "  (select 1) union (select 2)", "SELECT a from t where b = 'x;y'",
        "values (1), (2)", "table t", "select 1 -- a comment to the end"}) {
    EXPECT_TRUE(odbc::CursorCanRead(sql)) << sql;
  }
  const char* const refused[] = {
      "select 1;",     // a semicolon would end the declaration
      "select 'open",  // the server refuses it as it is
      "select 1 /* open",
      "with x as (select 1) select * from x",  // may modify data
      "show search_path",
      "insert into t values(1) returning k",
      "-- lead\nselect 1",
  };
  for (const char* sql : refused) EXPECT_FALSE(odbc::CursorCanRead(sql)) << sql;
}

class ServerCursorTest : public testing::PgSchemaTest {
 protected:
  ServerCursorTest() : PgSchemaTest(";BlockRows=" + std::to_string(kBlock)) {}

  void SetUp() override {
    PgSchemaTest::SetUp();
    if (IsSkipped()) return;
    conn_->Execute("create table r(k int, t varchar(20), long_text text)");
  }

  void Fill(int rows) {
    conn_->Execute("delete from r");
    if (rows == 0) return;
    conn_->Execute("insert into r select g, 'row ' || g, case when g % 3 = 0 then repeat('x', " +
                   std::to_string(600) + ") end from generate_series(1, " + std::to_string(rows) +
                   ") g");
  }

  // Every row as text, reading the count first or (with `count_at`) after that many rows.
  static std::vector<std::string> Read(Recordset& rs, int64_t& count, int count_at = 0) {
    std::vector<std::string> rows;
    for (int i = 0; !rs.Eof(); ++i) {
      if (i == count_at) count = rs.RecordCount();
      std::string row;
      for (int c = 0; c < rs.FieldCount(); ++c) row += testing::ShownValue(rs.Value(c)) + "|";
      rows.push_back(row);
      rs.MoveNext();
    }
    if (rows.empty()) count = rs.RecordCount();
    return rows;
  }

  // The cursors open on the connection's session, read as a whole result.
  int64_t OpenCursors() {
    auto rs = conn_->Open("with c as (select name from pg_cursors) select count(*) from c",
                          CursorType::kForwardOnly);
    return rs->Value(0).Integer();
  }
};

TEST_F(ServerCursorTest, RowsAndCountsAreThoseOfTheResultReadWhole) {
  const std::string query = "select k, t, long_text from r order by k";
  // A statement that cannot be read through a cursor is read whole: the reference.
  const std::string whole = "with q as (" + query + ") select * from q";
  for (int rows : {0, 1, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 2}) {
    Fill(rows);
    for (CursorType cursor : {CursorType::kStatic, CursorType::kKeyset, CursorType::kForwardOnly}) {
      for (int count_at : {0, 1, kBlock + 1}) {
        SCOPED_TRACE("rows " + std::to_string(rows) + ", cursor " +
                     std::to_string(static_cast<int>(cursor)) + ", count asked at row " +
                     std::to_string(count_at));
        int64_t expected_count = -2, count = -2;
        auto reference = conn_->Open(whole, cursor);
        const std::vector<std::string> expected = Read(*reference, expected_count, count_at);
        auto rs = conn_->Open(query, cursor);
        EXPECT_EQ(Read(*rs, count, count_at), expected);
        ASSERT_EQ(expected.size(), static_cast<size_t>(rows));
        if (count_at <= rows) {
          EXPECT_EQ(count, expected_count);
        }
        rs->Close();
        EXPECT_EQ(OpenCursors(), 0);
      }
    }
  }
}

// A static result (a QUERY's) runs its statement on the server once, however
// long it is; a lookup's result read in one block does too.
TEST_F(ServerCursorTest, AStatementIsRunOnceWhateverItsLength) {
  Fill(3 * kBlock + 1);
  conn_->Execute("create temporary sequence runs");
  for (CursorType cursor : {CursorType::kStatic, CursorType::kKeyset}) {
    for (int rows : {1, 3 * kBlock + 1}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(cursor)) + ", " + std::to_string(rows));
      conn_->Execute("select setval('runs', 1, false)");
      auto rs = conn_->Open("select k, nextval('runs') from r where k <= " + std::to_string(rows),
                            cursor);
      int64_t count = 0;
      const std::vector<std::string> read = Read(*rs, count);
      ASSERT_EQ(read.size(), static_cast<size_t>(rows));
      rs->Close();
      auto calls = conn_->Open("select last_value from runs", CursorType::kForwardOnly);
      // A lookup longer than a block is read by a probe first: one block more.
      const int64_t expected =
          cursor == CursorType::kStatic || rows < kBlock ? rows : rows + kBlock;
      EXPECT_EQ(calls->Value(0).Integer(), expected);
    }
  }
}

TEST_F(ServerCursorTest, NoCursorIsLeftWhateverEndsTheResult) {
  Fill(3 * kBlock);
  {
    auto rs = conn_->Open("select k from r", CursorType::kStatic);
    EXPECT_EQ(OpenCursors(), 1);  // longer than a block: held on the server
    rs->MoveNext();
    rs->Close();  // closed half-read
  }
  EXPECT_EQ(OpenCursors(), 0);
  {
    auto rs = conn_->Open("select k from r", CursorType::kStatic);
    rs->MoveNext();
  }  // dropped half-read, never closed
  EXPECT_EQ(OpenCursors(), 0);
  // A result still open when the call ends is closed by the reset for the next call.
  auto kept = conn_->Open("select k from r", CursorType::kStatic);
  EXPECT_TRUE(conn_->ResetForReuse());
  EXPECT_EQ(OpenCursors(), 0);
  kept.reset();  // its own close finds nothing to close, and says nothing
  EXPECT_TRUE(conn_->ResetForReuse());
  EXPECT_TRUE(conn_->StillUsable());
}

TEST_F(ServerCursorTest, AUnitOfWorkAroundTheCursorStandsOrFallsAsItWould) {
  Fill(3 * kBlock);
  auto other = db_->Open();
  conn_->Begin();
  conn_->Execute("delete from r where k = 1");
  conn_->Execute("insert into r(k, t) values(100, 'new')");
  auto rs = conn_->Open("select k from r order by k", CursorType::kStatic);
  EXPECT_EQ(rs->RecordCount(), 3 * kBlock);  // the unit's own changes seen
  EXPECT_EQ(rs->Value(0).Integer(), 2);
  for (int i = 0; i < kBlock + 1; ++i) rs->MoveNext();
  conn_->Commit();  // the result, half-read, goes on after the unit ends
  std::vector<int64_t> rest;
  for (; !rs->Eof(); rs->MoveNext()) rest.push_back(rs->Value(0).Integer());
  EXPECT_EQ(rest.size(), static_cast<size_t>(3 * kBlock - kBlock - 1));
  EXPECT_EQ(rest.back(), 100);
  rs->Close();
  EXPECT_EQ(other->Open("select count(*) from r where k = 100", CursorType::kForwardOnly)
                ->Value(0)
                .Integer(),
            1);

  // A unit rolled back while a result is open keeps nothing of its changes.
  conn_->Begin();
  conn_->Execute("delete from r");
  auto during = conn_->Open("select k from r", CursorType::kStatic);
  EXPECT_TRUE(during->Eof());
  conn_->Rollback();
  during->Close();
  EXPECT_EQ(conn_->Open("select k from r", CursorType::kStatic)->RecordCount(), 3 * kBlock);
  EXPECT_EQ(OpenCursors(), 0);
}

TEST_F(ServerCursorTest, ABackendKilledMidFetchFailsTheReadAndTheConnectionIsNotKept) {
  Fill(3 * kBlock);
  const int64_t pid =
      conn_->Open("select pg_backend_pid()", CursorType::kForwardOnly)->Value(0).Integer();
  auto rs = conn_->Open("select k from r", CursorType::kStatic);
  EXPECT_EQ(rs->RecordCount(), 3 * kBlock);
  auto admin = OpenConnection(*PgConnectionText());
  admin->Open("select pg_terminate_backend(" + std::to_string(pid) + ")", CursorType::kForwardOnly);
  const Failure f = FailureOf([&] {
    for (; !rs->Eof(); rs->MoveNext()) {
    }
  });
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  rs.reset();
  EXPECT_FALSE(conn_->ResetForReuse());
  EXPECT_FALSE(conn_->StillUsable());
}

TEST_F(ServerCursorTest, TheTraceShowsTheStatementAsFormedAndNothingOfTheCursor) {
  Fill(3 * kBlock);
  testing::TempDir dir;
  const std::string trace = (dir.path() / "trace.jsonl").string();
  auto traced = TraceConnection(std::move(conn_), trace);
  auto rs = traced->Open("select k from r where t <> 'a;b'", CursorType::kStatic);
  while (!rs->Eof()) rs->MoveNext();
  rs->Close();
  traced->Open("select k from r where k = 1", CursorType::kForwardOnly)->Close();
  std::ifstream in(trace);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line.substr(0, line.find(", \"ms\"")));
  }
  EXPECT_THAT(lines,
              ::testing::ElementsAre(R"({"sql": "select k from r where t <> 'a;b'", "rows": 12)",
                                     R"({"sql": "select k from r where k = 1", "rows": 1)"));
}

TEST_F(ServerCursorTest, TheBlockSizeIsTheConnectionTextsAndTheDriverNeverSeesIt) {
  for (const char* wrong : {"0", "x", "100001", "-1"}) {
    const Failure f = FailureOf([&] { OpenConnection(db_->text() + ";BlockRows=" + wrong); });
    EXPECT_THAT(f.description(), ::testing::HasSubstr("BlockRows")) << wrong;
  }
  Fill(7);
  auto one = OpenConnection(db_->text() + ";BlockRows=1");
  auto rs = one->Open("select k from r order by k", CursorType::kStatic);
  EXPECT_EQ(rs->RecordCount(), 7);
  int64_t sum = 0;
  for (; !rs->Eof(); rs->MoveNext()) sum += rs->Value(0).Integer();
  EXPECT_EQ(sum, 28);
}

// A block of many wide rows comes from the driver in several arrays, none of
// them more than the bound: every row read once, in order, long values whole,
// whether the rows end inside an array, at its end, or at the block's end.
TEST_F(ServerCursorTest, WideRowsOfALargeBlockAreReadInArraysOfBoundedBytes) {
  conn_->Execute("create table wide(k int, a varchar(2000), b varchar(2000), c text)");
  // Each row binds two texts of 2,000 characters and one of unknown length:
  // about 17 KB, so 8 MiB holds about 490 of them.
  conn_->Execute(
      "insert into wide select g, repeat('a', g % 2000), 'b' || g, case when g % 97 = 0 then "
      "repeat('c', 1000) end from generate_series(1, 1500) g");
  auto many = OpenConnection(db_->text() + ";BlockRows=100000");
  for (const CursorType cursor : {CursorType::kStatic, CursorType::kForwardOnly}) {
    for (const int rows : {1, 520, 1040, 1500}) {
      SCOPED_TRACE(std::to_string(rows) + " rows");
      auto rs = many->Open(
          "select k, a, b, c from wide where k <= " + std::to_string(rows) + " order by k", cursor);
      int k = 0;
      for (; !rs->Eof(); rs->MoveNext()) {
        ++k;
        ASSERT_EQ(rs->Value(0).Integer(), k);
        ASSERT_EQ(rs->Value(1).Text(), std::string(static_cast<size_t>(k % 2000), 'a'));
        ASSERT_EQ(rs->Value(2).Text(), "b" + std::to_string(k));
        ASSERT_EQ(rs->Value(3).IsNull(), k % 97 != 0);
        if (k % 97 == 0) {
          ASSERT_EQ(rs->Value(3).Text(), std::string(1000, 'c'));
        }
      }
      EXPECT_EQ(k, rows);
    }
  }
}

}  // namespace
}  // namespace quillor
