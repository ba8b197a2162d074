// The sample rows: added twice, they leave the same rows.
#include "schema/sample_data.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/open_connection.h"
#include "testing/command_line.h"

namespace quillor {
namespace {

using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;

int64_t CountRows(Connection& conn, const std::string& table) {
  return conn.Open("select * from " + table, CursorType::kStatic)->RecordCount();
}

TEST(InitDbTest, TheSampleAddedTwiceLeavesTheSameRows) {
  TempDir dir;
  const std::string connection = "Provider=SQLite;Data Source=" + dir.path().string() + "/erp.db";
  const std::vector<std::string> tables{"ca_depDf",   "Inventory",         "ca_pronb",
                                        "caq_coreal", "ca_batchmap",       "AccInformation",
                                        "gl_mend",    "ProductStructureEx"};
  ASSERT_EQ(RunTool({"init-db", "--connection", connection, "--sample"}).code, 0);
  std::map<std::string, int64_t> first;
  {
    std::unique_ptr<Connection> conn = OpenConnection(connection);
    for (const auto& t : tables) first[t] = CountRows(*conn, t);
    // A row someone removed is put back; the others stay single.
    conn->Execute("delete from ca_depDf where cDeptID='D02'");
  }
  const ToolRun again = RunTool({"init-db", "--connection", connection, "--sample"});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_NE(again.out.find("ca_depDf: D01 and D02 (basic departments), D09 (not basic) (1 row "
                           "added, 2 rows already there)"),
            std::string::npos)
      << again.out;
  EXPECT_NE(again.out.find("(0 rows added, 12 rows already there)"), std::string::npos)
      << again.out;
  std::unique_ptr<Connection> conn = OpenConnection(connection);
  for (const auto& t : tables) EXPECT_EQ(CountRows(*conn, t), first[t]) << t;
}

}  // namespace
}  // namespace quillor
