// The reuse of prepared statements and the streaming static cursor, through the
// connection as the component uses it.
#include <gtest/gtest.h>

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "schema/host_schema.h"
#include "testing/sqlite_host_test.h"
#include "testing/temp_dir.h"
#include "testing/test_db.h"

namespace quillor {
namespace {

using testing::SqliteText;
using testing::TempDir;

class StatementReuseTest : public testing::SqliteHostTest {
 protected:
  std::string Texts(const std::string& sql, CursorType cursor = CursorType::kKeyset) {
    auto rs = conn_->Open(sql, cursor);
    std::string out;
    for (; !rs->Eof(); rs->MoveNext()) {
      for (int i = 0; i < rs->FieldCount(); ++i) {
        const DbValue v = rs->Value(i);
        out += testing::ShownValue(v) + (i + 1 < rs->FieldCount() ? "," : ";");
      }
    }
    rs->Close();
    return out;
  }
};

TEST_F(StatementReuseTest, ASharedShapeGivesEachTextItsOwnValues) {
  for (const char* code : {"M1", "M'2", "M3"}) {
    std::string quoted = code;
    for (size_t at = quoted.find('\''); at != std::string::npos; at = quoted.find('\'', at + 2)) {
      quoted.insert(at, "'");
    }
    EXPECT_EQ(conn_->Execute("insert into Inventory values('" + quoted + "','n')"), 1);
  }
  EXPECT_EQ(Texts("select cInvCode from Inventory where cInvCode='M''2'"), "M'2;");
  EXPECT_EQ(Texts("select cInvCode from Inventory where cInvCode='M3'"), "M3;");
  EXPECT_EQ(Texts("select cInvCode from Inventory where cInvCode='M9'"), "");
  // A text compared with a whole-number column reads as its number, bound or not.
  conn_->Execute("insert into ca_mabsw(cDeptID,iPeriod,iPrice) values('D1','5',2)");
  conn_->Execute("insert into ca_mabsw(cDeptID,iPeriod,iPrice) values('D2',6,2.5)");
  EXPECT_EQ(Texts("select cDeptID, iPrice from ca_mabsw where iperiod='5'"), "D1,2;");
  EXPECT_EQ(Texts("select cDeptID, iPrice from ca_mabsw where iperiod='6'"), "D2,2.5;");
  EXPECT_EQ(conn_->Execute("delete from ca_mabsw where cDeptID='D1' and iPeriod=5"), 1);
  EXPECT_EQ(conn_->Execute("delete from ca_mabsw where cDeptID='D2' and iPeriod=5"), 0);
  EXPECT_EQ(conn_->Execute("delete from ca_mabsw where cDeptID='D2' and iPeriod=6"), 1);
  // Result column names come from the text as it was written.
  auto rs = conn_->Open("select 'x', 7 from Inventory where cInvCode='M1'", CursorType::kKeyset);
  EXPECT_EQ(rs->FieldName(0), "'x'");
  EXPECT_EQ(rs->FieldName(1), "7");
  rs->Close();
  // A number after order by still names a column.
  EXPECT_EQ(Texts("select cInvName, cInvCode from Inventory where cInvName='n' order by 2 desc"),
            "n,M3;n,M1;n,M'2;");
}

TEST_F(StatementReuseTest, FailuresAreTheTextsOwn) {
  const auto description = [&](const std::string& sql) {
    try {
      conn_->Execute(sql);
    } catch (const Failure& f) {
      return std::to_string(f.number()) + " " + f.description();
    }
    return std::string("no failure");
  };
  EXPECT_EQ(description("select * from Inventory where cInvCode='a' 'b'"),
            "-2147217900 [SQLite] near \"'b'\": syntax error");
  EXPECT_EQ(description("select * from nowhere where a='a'"),
            "-2147217900 [SQLite] no such table: nowhere");
  EXPECT_EQ(description("select * from Inventory where cInvCode='a'; delete from Inventory"),
            "-2147217900 [SQLite] only one statement may be run at a time");
  // The shape that failed is not kept: the next text of it still runs.
  EXPECT_EQ(description("select * from Inventory where cInvCode='a'"), "no failure");
}

TEST_F(StatementReuseTest, UnitsOfWorkStillStandOrFallTogether) {
  for (int i = 0; i < 3; ++i) {
    UnitOfWork unit(*conn_);
    conn_->Execute("insert into ca_pronb values('B" + std::to_string(i) + "')");
    if (i != 1) unit.Commit();
  }
  EXPECT_EQ(Texts("select cBatch from ca_pronb where cBatch<>'x' order by 1"), "B0;B2;");
}

TEST_F(StatementReuseTest, StaticCursorCountsAndStreamsEveryRow) {
  conn_->Begin();
  for (int i = 0; i < 2500; ++i) {
    conn_->Execute("insert into Inventory values('M" + std::to_string(i) + "','n')");
  }
  conn_->Commit();
  auto rs = conn_->Open("select cInvCode, length(cInvCode) from Inventory where cInvName='n'",
                        CursorType::kStatic);
  EXPECT_EQ(rs->RecordCount(), 2500);
  EXPECT_EQ(rs->FieldType(1), ado_type::kInteger);
  // Rows another connection writes meanwhile are not part of this result.
  auto other = OpenConnection(SqliteText(path_));
  other->Execute("insert into Inventory values('late','n')");
  int64_t rows = 0;
  std::string last;
  for (; !rs->Eof(); rs->MoveNext()) {
    last = testing::ShownValue(rs->Value("cinvcode"));
    ++rows;
  }
  EXPECT_EQ(rows, 2500);
  EXPECT_EQ(last, "M2499");
  EXPECT_THROW(rs->Value(0), Failure);
  EXPECT_THROW(rs->MoveNext(), Failure);
  rs->Close();
  EXPECT_THROW(rs->Eof(), Failure);

  auto empty =
      conn_->Open("select cInvCode from Inventory where cInvName='none'", CursorType::kStatic);
  EXPECT_EQ(empty->RecordCount(), 0);
  EXPECT_TRUE(empty->Eof());
  empty->Close();
}

TEST_F(StatementReuseTest, StaticCursorOverAWritingStatementRunsItOnce) {
  auto rs = conn_->Open("insert into ca_pronb values('B1') returning cBatch", CursorType::kStatic);
  EXPECT_EQ(rs->RecordCount(), 1);
  rs->Close();
  EXPECT_EQ(Texts("select count(*) from ca_pronb where cBatch='B1'"), "1;");
}

}  // namespace
}  // namespace quillor
