#include "platform/db/statement_faults.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"
#include "testing/fake_database.h"
#include "testing/test_db.h"

namespace quillor {
namespace {

// Which of the next eight statements fail, as a text of 'x' (fails) and '.'.
std::string Pattern(StatementFaults& faults) {
  std::string out;
  for (int i = 0; i < 8; ++i) out += faults.ShouldFail("select 1") ? 'x' : '.';
  return out;
}

TEST(StatementFaults, CountedStatementsFailFromTheNthOn) {
  // The n and count armed, and the pattern that follows.
  const std::tuple<int64_t, int64_t, const char*> cases[] = {
      {0, 1, "........"},  {1, 1, "x......."},
      {3, 2, "..xx...."},  {2, StatementFaults::kForever, ".xxxxxxx"},
      {-5, 1, "........"},
  };
  for (const auto& [n, count, pattern] : cases) {
    StatementFaults faults;
    faults.ShouldFail("before arming");  // arming counts afresh
    faults.FailStatement(n, count);
    EXPECT_EQ(Pattern(faults), pattern) << n << " " << count;
    EXPECT_EQ(faults.StatementsRun(), 8);
  }
}

TEST(StatementFaults, ARuleFailsTheStatementsItNamesUntilReset) {
  StatementFaults faults;
  faults.FailWhen([](std::string_view sql) { return sql.starts_with("insert"); });
  EXPECT_FALSE(faults.ShouldFail("select 1"));
  EXPECT_TRUE(faults.ShouldFail("insert into t values(1)"));
  faults.Reset();
  EXPECT_FALSE(faults.ShouldFail("insert into t values(1)"));
  EXPECT_EQ(faults.StatementsRun(), 1);
}

TEST(StatementFaults, TheRecordingConnectionRefusesByThePlanAndStillRecords) {
  testing_fakes::FakeConnection inner({{"a", ado_type::kInteger}});
  testing::RecordingConnection conn(inner);
  conn.faults.FailStatement(2);
  conn.Execute("delete from t");
  EXPECT_EQ(testing::FailureOf([&] { conn.Execute("insert t values(1)"); }).number(),
            failure_numbers::kDbStatement);
  conn.Open("select a from t", CursorType::kStatic)->Close();
  EXPECT_EQ(conn.statements().size(), 3u);
  EXPECT_EQ(inner.opened.size(), 1u);  // the refused statement never reached the engine
}

}  // namespace
}  // namespace quillor
