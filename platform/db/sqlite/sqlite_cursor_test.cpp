// The streamed static cursor's row count: counted when first asked for, under the
// read snapshot of the open statement, and the same whichever way it is counted.
#include <gtest/gtest.h>

#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "schema/host_schema.h"
#include "testing/sqlite_host_test.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

using testing::SqliteText;
using testing::TempDir;

class SqliteCursorTest : public testing::SqliteHostTest {
 protected:
  void SetUp() override {
    SqliteHostTest::SetUp();
    for (int i = 0; i < 5; ++i) {
      conn_->Execute("insert into ca_pronb(cBatch) values('B" + std::to_string(i) + "')");
    }
  }
};

TEST_F(SqliteCursorTest, CountIsOfTheRowsTheCursorGivesThoughOthersWriteMeanwhile) {
  for (const char* sql : {"select * from ca_pronb", "select cBatch from ca_pronb order by 1 -- x",
                          "select cBatch from ca_pronb limit 3",
                          "select cBatch from ca_pronb union all select cBatch from ca_pronb"}) {
    SCOPED_TRACE(sql);
    auto rs = conn_->Open(sql, CursorType::kStatic);
    // Another connection adds rows after the cursor opened, before it is counted.
    OpenConnection(SqliteText(path_))->Execute("insert into ca_pronb(cBatch) values('later')");
    const int64_t count = rs->RecordCount();
    int64_t stepped = 0;
    for (; !rs->Eof(); rs->MoveNext()) ++stepped;
    EXPECT_EQ(count, stepped);
    EXPECT_EQ(rs->RecordCount(), count);
  }
}

TEST_F(SqliteCursorTest, CountedAtTheEndOrThroughAStatementThatIsNoSubquery) {
  auto rs = conn_->Open("select cBatch from ca_pronb", CursorType::kStatic);
  int64_t stepped = 0;
  for (; !rs->Eof(); rs->MoveNext()) ++stepped;
  EXPECT_EQ(rs->RecordCount(), stepped);

  // A pragma cannot stand in a subquery: its rows are stepped through instead.
  auto pragma = conn_->Open("pragma table_info(ca_pronb)", CursorType::kStatic);
  int64_t columns = 0;
  for (auto all = conn_->Open("pragma table_info(ca_pronb)", CursorType::kKeyset); !all->Eof();
       all->MoveNext()) {
    ++columns;
  }
  ASSERT_GT(columns, 0);
  EXPECT_EQ(pragma->RecordCount(), columns);

  auto none = conn_->Open("select * from ca_pronb where 1>1", CursorType::kStatic);
  EXPECT_EQ(none->RecordCount(), 0);
}

}  // namespace
}  // namespace quillor
