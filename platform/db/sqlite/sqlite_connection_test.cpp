#include "platform/db/sqlite/sqlite_connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <utility>

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "schema/host_schema.h"
#include "testing/condition_columns.h"
#include "testing/expect_failure.h"
#include "testing/sqlite_host_test.h"
#include "testing/temp_dir.h"
#include "testing/test_db.h"

namespace quillor {
namespace {

using testing::FailureOf;
using testing::SqliteText;
using testing::TempDir;

using SqliteTest = testing::SqliteHostTest;

TEST(SqliteConnection, MissingFileIsAConnectionFailureAndIsNotCreated) {
  TempDir dir;
  const std::string path = dir.File("missing.db");
  Failure f = FailureOf([&] { OpenConnection(SqliteText(path)); });
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  EXPECT_EQ(f.description(), "[SQLite] unable to open database file");
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SqliteConnection, FileThatIsNoDatabaseIsAConnectionFailure) {
  TempDir dir;
  const std::string path = dir.File("junk.db");
  std::ofstream(path) << std::string(4096, 'x');
  Failure f = FailureOf([&] { OpenConnection(SqliteText(path)); });
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  EXPECT_EQ(f.description(), "[SQLite] file is not a database");
}

TEST(SqliteConnection, ConnectionTextSettings) {
  auto s = sqlite::ParseSqliteConnectionText(
      " provider = sqlite ; DATA SOURCE = /tmp/a b.db ;synchronous=normal;busy timeout= 250;");
  EXPECT_EQ(s.path, "/tmp/a b.db");
  EXPECT_FALSE(s.synchronous_full);
  EXPECT_EQ(s.busy_timeout_ms, 250);
  s = sqlite::ParseSqliteConnectionText("Provider=SQLite;Data Source=\"/tmp/x;y.db\"");
  EXPECT_EQ(s.path, "/tmp/x;y.db");
  EXPECT_TRUE(s.synchronous_full);
  EXPECT_EQ(s.busy_timeout_ms, 5000);
  for (const char* bad :
       {"Provider=SQLite",
        "Provider=SQLite;Data Source=", "Provider=SQLite;Data Source=a;Synchronous=Off",
        "Provider=SQLite;Data Source=a;Busy Timeout=5s",
        "Provider=SQLite;Data Source=a;Busy Timeout=-1", "Provider=SQLite;Data Source=\"a"}) {
    Failure f = FailureOf([&] { sqlite::ParseSqliteConnectionText(bad); });
    EXPECT_EQ(f.number(), failure_numbers::kFail) << bad;
    EXPECT_EQ(f.description().rfind("[Quillor] invalid connection text: ", 0), 0u) << bad;
  }
}

TEST(SqliteFile, CreatesAnEmptyDatabaseInWalMode) {
  TempDir dir;
  const std::string path = dir.File("new.db");
  CreateSqliteDatabaseFile(path);
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(raw, "pragma journal_mode", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(raw);
  EXPECT_THROW(CreateSqliteDatabaseFile(dir.File("no/such/dir.db")), Failure);
}

TEST_F(SqliteTest, OpensInWalModeWithFullSync) {
  auto rs = conn_->Open("pragma journal_mode", CursorType::kStatic);
  EXPECT_EQ(testing::ShownValue(rs->Value(0)), "wal");
  rs = conn_->Open("pragma synchronous", CursorType::kStatic);
  EXPECT_EQ(testing::ShownValue(rs->Value(0)), "2");  // FULL
  auto normal = OpenConnection(SqliteText(path_) + ";Synchronous=Normal");
  EXPECT_EQ(testing::ShownValue(normal->Open("pragma synchronous", CursorType::kStatic)->Value(0)),
            "1");
}

TEST_F(SqliteTest, StatementErrorNumbers) {
  struct Case {
    const char* sql;
    int32_t number;
    const char* description;
  } cases[] = {
      {"select * from accinformation_x", failure_numbers::kDbStatement,
       "[SQLite] no such table: accinformation_x"},
      {"select nope from ca_depDf", failure_numbers::kDbStatement, "[SQLite] no such column: nope"},
      {"selec 1", failure_numbers::kDbStatement, "[SQLite] near \"selec\": syntax error"},
      {"", failure_numbers::kDbStatement, "[SQLite] the statement is empty"},
      {"select 1; delete from ca_depDf", failure_numbers::kDbStatement,
       "[SQLite] only one statement may be run at a time"},
      {"select 1;select 2", failure_numbers::kDbStatement,
       "[SQLite] only one statement may be run at a time"},
  };
  for (const auto& c : cases) {
    Failure open = FailureOf([&] { conn_->Open(c.sql, CursorType::kStatic); });
    EXPECT_EQ(open.number(), c.number) << c.sql;
    EXPECT_EQ(open.description(), c.description) << c.sql;
    Failure exec = FailureOf([&] { conn_->Execute(c.sql); });
    EXPECT_EQ(exec.number(), c.number) << c.sql;
  }
}

TEST_F(SqliteTest, SecondStatementIsNeverRun) {
  conn_->Execute("insert ca_depDf(cDeptID,bIsBaseDep) values('D01',1)");
  EXPECT_THROW(conn_->Execute("delete from ca_pronb; delete from ca_depDf"), Failure);
  EXPECT_EQ(conn_->Open("select * from ca_depDf", CursorType::kStatic)->RecordCount(), 1);
  // Blanks, semicolons and comments after the statement are no second statement.
  EXPECT_EQ(conn_->Execute("delete from ca_pronb ; ; -- done\n/* end */ "), 0);
}

TEST_F(SqliteTest, ConstraintNumber) {
  conn_->Execute("create unique index u_batch on ca_pronb(cBatch)");
  conn_->Execute("insert ca_pronb(cBatch) values('B1')");
  Failure f = FailureOf([&] { conn_->Execute("insert ca_pronb(cBatch) values('B1')"); });
  EXPECT_EQ(f.number(), failure_numbers::kDbConstraint);
  EXPECT_EQ(f.description(), "[SQLite] UNIQUE constraint failed: ca_pronb.cBatch");
}

TEST_F(SqliteTest, LockedDatabaseIsAGeneralFailure) {
  sqlite3* raw = nullptr;  // a second writer holds the lock
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
  auto busy = OpenConnection(SqliteText(path_) + ";Busy Timeout=0");
  Failure f = FailureOf([&] { busy->Execute("insert ca_pronb(cBatch) values('B')"); });
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  EXPECT_EQ(f.description(), "[SQLite] database is locked");
  sqlite3_close(raw);
}

TEST_F(SqliteTest, ExecuteCountsChangedRows) {
  EXPECT_EQ(conn_->Execute("insert ca_pronb(cBatch) values('B1')"), 1);
  EXPECT_EQ(conn_->Execute("insert into ca_pronb(cBatch) select 'B2' union all select 'B3'"), 2);
  EXPECT_EQ(conn_->Execute("create table if not exists extra(a int)"), 0);
  EXPECT_EQ(conn_->Execute("delete from ca_pronb where cBatch like 'B%'"), 3);
  EXPECT_EQ(conn_->Execute("delete from ca_pronb"), 0);
}

TEST_F(SqliteTest, RecordsetReadsRowsAndValues) {
  conn_->Execute(
      "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua,irdcode)   "
      "values('D01','1001','M01','B1',2.50,3,5,7.5,0)");
  conn_->Execute(
      "insert ca_mabsw(cdeptid,cmatid,iprice,iqua,iperiod,imatqua)   "
      "values('D02','M02',1,1,6,1)");
  auto rs = conn_->Open("select * from ca_mabsw order by cDeptID", CursorType::kKeyset);
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->FieldCount(), 9);
  EXPECT_EQ(rs->FieldName(0), "cDeptID");
  EXPECT_EQ(rs->FieldIndex("CDEPTID"), 0);
  EXPECT_EQ(rs->FieldIndex("irdCode"), 8);
  EXPECT_FALSE(rs->Eof());
  EXPECT_EQ(testing::ShownValue(rs->Value("cppid")), "1001");
  EXPECT_TRUE(rs->Value("iPrice").IsDouble());
  EXPECT_EQ(testing::ShownValue(rs->Value("iPrice")), "2.5");
  EXPECT_TRUE(rs->Value("iPeriod").IsInteger());
  EXPECT_EQ(rs->Value("iPeriod").Integer(), 5);
  rs->MoveNext();
  EXPECT_TRUE(rs->Value("cppid").IsNull());
  EXPECT_TRUE(rs->Value("irdcode").IsNull());
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());

  auto forward = conn_->Open("select cDeptID from ca_mabsw", CursorType::kForwardOnly);
  EXPECT_EQ(forward->RecordCount(), -1);
  auto empty = conn_->Open("select * from ca_mabsw where 1>1", CursorType::kStatic);
  EXPECT_TRUE(empty->Eof());
  EXPECT_EQ(empty->RecordCount(), 0);
}

TEST_F(SqliteTest, FieldLookupFailures) {
  auto rs = conn_->Open("select cDeptID from ca_depDf", CursorType::kForwardOnly);
  const std::string not_found =
      "Item cannot be found in the collection corresponding to the requested name or ordinal.";
  for (auto action : std::vector<std::function<void()>>{
           [&] { rs->FieldIndex("irdcode"); }, [&] { rs->FieldIndex(""); },
           [&] { rs->FieldName(1); }, [&] { rs->FieldType(-1); }}) {
    Failure f = FailureOf(action);
    EXPECT_EQ(f.number(), 3265);
    EXPECT_EQ(f.description(), not_found);
  }
  const std::string eof =
      "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
      "requires a current record.";
  Failure f = FailureOf([&] { rs->Value(0); });
  EXPECT_EQ(f.number(), 3021);
  EXPECT_EQ(f.description(), eof);
  EXPECT_EQ(FailureOf([&] { rs->MoveNext(); }).number(), 3021);
  rs->Close();
  EXPECT_EQ(FailureOf([&] { rs->Eof(); }).number(), 3704);
}

TEST_F(SqliteTest, TypeCodesOfHostColumns) {
  // The check statement of the query: its column types decide the quoting.
  const std::string check =
      "select a.cDeptID as cDeptID,b.InvCode as cppid, cMatID, cBatch, iPrice, iQua, iPeriod "
      ",iMatQua,\r\n   b.Free1 as cFree1, b.Free10 as cFree10, \r\n"
      "   b.Version as cbomver, b.IdentCode as cbomvertd, \r\n"
      "   b.iMORouteSN as cmoroutesn, b.cMOCode as cmocode, \r\n   b.iMOSubSN as cmosubsn \r\n"
      " from ca_mabsw a join caq_coreal b on a.cppid=b.iRealCOID \r\n where 1>1";
  auto rs = conn_->Open(check, CursorType::kForwardOnly);
  for (const auto& c : testing::kConditionColumns)
    EXPECT_EQ(rs->FieldType(rs->FieldIndex(c.name)), testing::ExpectedAdoType(c.kind, 200))
        << c.name;

  auto flags = conn_->Open("select bIsBaseDep from ca_depDf", CursorType::kStatic);
  EXPECT_EQ(flags->FieldType(0), 11);
  auto mend = conn_->Open("select * from gl_mend", CursorType::kStatic);
  EXPECT_EQ(mend->FieldType(mend->FieldIndex("bflag_Ca")), 11);
}

TEST_F(SqliteTest, ExpressionColumnsTakeTheirTypeFromTheFirstRow) {
  conn_->Execute("insert ca_depDf(cDeptID,bIsBaseDep) values('D01',1)");
  auto rs = conn_->Open(
      "select 1 as i, 2.5 as d, 'x' as t, null as n, isnull(cDeptID,'') as c "
      "from ca_depDf",
      CursorType::kStatic);
  EXPECT_EQ(rs->FieldType(0), 3);
  EXPECT_EQ(rs->FieldType(1), 5);
  EXPECT_EQ(rs->FieldType(2), 200);
  EXPECT_EQ(rs->FieldType(3), 200);
  EXPECT_EQ(rs->FieldType(4), 200);
  EXPECT_EQ(testing::ShownValue(rs->Value("c")), "D01");
}

TEST_F(SqliteTest, HostDialectRunsAdapted) {
  conn_->Execute("insert caq_coreal(iRealCOID,InvCode,iMORouteSN) values(1001,'P01',7)");
  conn_->Execute("insert caq_coreal(iRealCOID,InvCode) values(1002,'P02')");
  auto rs = conn_->Open(
      "select isnull(str(iMORouteSN),'') as r, str(2.5) as h from caq_coreal order by iRealCOID",
      CursorType::kStatic);
  EXPECT_EQ(testing::ShownValue(rs->Value("r")), "         7");
  EXPECT_EQ(testing::ShownValue(rs->Value("h")), "         3");
  rs->MoveNext();
  EXPECT_EQ(testing::ShownValue(rs->Value("r")), "");
  EXPECT_EQ(conn_->SentText("insert T(a) values(1)"), "insert into T(a) values(1)");
  EXPECT_EQ(conn_->dialect(), Dialect::kSqlite);
}

// The host's str(): halves away from zero, right-aligned in ten characters, ten
// asterisks for a number that needs more, null for null.
TEST_F(SqliteTest, StrAsTheHostWritesIt) {
  // The argument and the text str() gives for it.
  const std::pair<const char*, const char*> cases[] = {
      {"2.5", "         3"},        {"-2.5", "        -3"},        {"0.5", "         1"},
      {"1.5", "         2"},        {"-0.4", "         0"},        {"7", "         7"},
      {"-123", "      -123"},       {"1234567890", "1234567890"},  {"12345678901", "**********"},
      {"-999999999", "-999999999"}, {"-1000000000", "**********"}, {"1e300", "**********"},
      {"' 42 '", "        42"},
  };
  for (const auto& [x, text] : cases) {
    auto rs = conn_->Open(std::string("select str(") + x + ") as s", CursorType::kStatic);
    EXPECT_EQ(testing::ShownValue(rs->Value("s")), text) << x;
  }
  EXPECT_TRUE(conn_->Open("select str(null) as s", CursorType::kStatic)->Value("s").IsNull());
  EXPECT_THROW(conn_->Open("select str('x') as s", CursorType::kStatic), Failure);
}

TEST_F(SqliteTest, UnitsOfWorkNest) {
  {
    UnitOfWork outer(*conn_);
    conn_->Execute("insert ca_pronb(cBatch) values('kept')");
    {
      UnitOfWork inner(*conn_);
      conn_->Execute("insert ca_pronb(cBatch) values('undone')");
    }  // rolled back
    outer.Commit();
  }
  {
    UnitOfWork dropped(*conn_);
    conn_->Execute("insert ca_pronb(cBatch) values('dropped')");
  }
  auto rs = conn_->Open("select cBatch from ca_pronb", CursorType::kStatic);
  ASSERT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(testing::ShownValue(rs->Value(0)), "kept");
  EXPECT_THROW(conn_->Commit(), Failure);
}

TEST_F(SqliteTest, HostTablesAreCreatedOnceAndExistingFileIsKept) {
  conn_->Execute("insert ca_pronb(cBatch) values('B1')");
  CreateHostTables(*conn_);
  CreateSqliteDatabaseFile(path_);
  auto again = OpenConnection(SqliteText(path_));
  EXPECT_EQ(again->Open("select * from ca_pronb", CursorType::kStatic)->RecordCount(), 1);
  auto idx =
      again->Open("select name from sqlite_master where type='index' and tbl_name='ca_mabsw'",
                  CursorType::kStatic);
  EXPECT_EQ(idx->RecordCount(), 1);
}

}  // namespace
}  // namespace quillor
