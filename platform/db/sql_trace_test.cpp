#include "platform/db/sql_trace.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.File("t.db");
    trace_ = dir_.File("trace.jsonl");
    CreateSqliteDatabaseFile(db_);
    setenv("QUILLOR_TRACE_SQL", trace_.c_str(), 1);
  }
  void TearDown() override { unsetenv("QUILLOR_TRACE_SQL"); }

  // The trace's lines with every duration written as 0.
  std::vector<std::string> Lines() const {
    std::ifstream in(trace_);
    std::vector<std::string> lines;
    const std::regex ms(R"("ms": (0|[1-9][0-9]*)(\.[0-9]{1,3})?\})");
    for (std::string line; std::getline(in, line);) {
      EXPECT_TRUE(std::regex_search(line, ms) || line.find("\"error\"") != std::string::npos)
          << line;
      lines.push_back(std::regex_replace(line, ms, "\"ms\": 0}"));
    }
    return lines;
  }

  testing::TempDir dir_;
  std::string db_;
  std::string trace_;
};

TEST_F(TraceTest, OneLinePerStatement) {
  auto conn = OpenConnection(testing::SqliteText(db_));
  conn->Execute("create table t(a varchar(10), b int)");
  conn->Begin();
  conn->Execute("insert t(a,b) values('x\"y\\z',1)");
  conn->Execute("insert into t(a,b) values('\r\n\t',2)");
  conn->Commit();
  conn->Open("select a from t where b>0", CursorType::kStatic);
  {
    auto forward = conn->Open("select a from t", CursorType::kForwardOnly);
    EXPECT_EQ(forward->RecordCount(), -1);
  }
  conn->Open("select isnull(a,'') from t where 1>1", CursorType::kKeyset);
  EXPECT_THROW(conn->Execute("delete from nowhere"), Failure);
  EXPECT_THROW(conn->Open("select 'é' from nowhere", CursorType::kStatic), Failure);
  EXPECT_THROW(conn->Execute("insert nowhere(a) values(1)"), Failure);

  const std::vector<std::string> expected = {
      R"j({"sql": "create table t(a varchar(10), b int)", "rows": 0, "ms": 0})j",
      R"j({"sql": "insert t(a,b) values('x\"y\\z',1)", "sent": "insert into t(a,b) values('x\"y\\z',1)", "rows": 1, "ms": 0})j",
      R"j({"sql": "insert into t(a,b) values('\r\n\t',2)", "rows": 1, "ms": 0})j",
      R"j({"sql": "select a from t where b>0", "rows": 2, "ms": 0})j",
      R"j({"sql": "select a from t", "rows": 2, "ms": 0})j",
      R"j({"sql": "select isnull(a,'') from t where 1>1", "sent": "select coalesce(a,'') from t where 1>1", "rows": 0, "ms": 0})j",
      R"j({"sql": "delete from nowhere", "error": {"number": -2147217900, "description": "[SQLite] no such table: nowhere"}})j",
      R"j({"sql": "select 'é' from nowhere", "error": {"number": -2147217900, "description": "[SQLite] no such table: nowhere"}})j",
      R"j({"sql": "insert nowhere(a) values(1)", "sent": "insert into nowhere(a) values(1)", "error": {"number": -2147217900, "description": "[SQLite] no such table: nowhere"}})j",
  };
  EXPECT_EQ(Lines(), expected);
}

TEST_F(TraceTest, NoTraceWithoutTheVariable) {
  unsetenv("QUILLOR_TRACE_SQL");
  auto conn = OpenConnection(testing::SqliteText(db_));
  conn->Execute("create table t(a int)");
  EXPECT_FALSE(std::filesystem::exists(trace_));
}

TEST_F(TraceTest, AppendsToAnExistingFile) {
  std::ofstream(trace_) << "earlier\n";
  OpenConnection(testing::SqliteText(db_))->Execute("create table t(a int)");
  EXPECT_EQ(testing::ReadFileText(trace_).rfind(
                "earlier\n{\"sql\": \"create table t(a int)\", \"rows\": 0, \"ms\": ", 0),
            0u);
}

// A recordset that streams its rows: the line is written when it closes.
class StreamingRecordset : public Recordset {
 public:
  bool Eof() const override { return row_ >= 3; }
  void MoveNext() override { ++row_; }
  int64_t RecordCount() const override { return -1; }
  int FieldCount() const override { return 1; }
  int FieldIndex(std::string_view) const override { return 0; }
  std::string FieldName(int) const override { return "a"; }
  int FieldType(int) const override { return ado_type::kInteger; }
  DbValue Value(int) const override { return DbValue(int64_t{row_}); }
  void Close() override {}

 private:
  int row_ = 0;
};

class StreamingConnection : public Connection {
 public:
  std::unique_ptr<Recordset> Open(std::string_view, CursorType) override {
    return std::make_unique<StreamingRecordset>();
  }
  int64_t Execute(std::string_view) override { return 0; }
  void Begin() override {}
  void Commit() override {}
  void Rollback() override {}
};

TEST_F(TraceTest, StreamedRowsAreCountedAsRead) {
  auto conn = TraceConnection(std::make_unique<StreamingConnection>(), trace_);
  auto rs = conn->Open("select a from s", CursorType::kForwardOnly);
  while (!rs->Eof()) rs->MoveNext();
  EXPECT_TRUE(Lines().empty());
  rs->Close();
  rs.reset();
  EXPECT_EQ(Lines(),
            std::vector<std::string>{R"j({"sql": "select a from s", "rows": 3, "ms": 0})j"});
}

TEST(JsonString, EscapesWhatJsonRequires) {
  EXPECT_EQ(JsonString(""), "\"\"");
  EXPECT_EQ(JsonString("a\"b\\c/d"), R"("a\"b\\c/d")");
  EXPECT_EQ(JsonString("\r\n\t\b\f"), R"("\r\n\t\b\f")");
  EXPECT_EQ(JsonString(std::string("\x01\x1f\0", 3)), R"("\u0001\u001f\u0000")");
  EXPECT_EQ(JsonString("成功"), "\"成功\"");
}

TEST(MillisecondsText, AtMostThreeDecimals) {
  EXPECT_EQ(MillisecondsText(0), "0");
  EXPECT_EQ(MillisecondsText(2), "2");
  EXPECT_EQ(MillisecondsText(1.5), "1.5");
  EXPECT_EQ(MillisecondsText(0.1254), "0.125");
  EXPECT_EQ(MillisecondsText(0.0001), "0");
  EXPECT_EQ(MillisecondsText(12.3456), "12.346");
}

}  // namespace
}  // namespace quillor
