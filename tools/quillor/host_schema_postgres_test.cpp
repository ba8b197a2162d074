// The host tables on PostgreSQL: the component's own statements, as each release forms
// them, run there unchanged.
#include <gtest/gtest.h>

#include <sstream>

#include "profiles/release_profile.h"
#include "runtime/value_text.h"
#include "schema/host_schema.h"
#include "testing/condition_columns.h"
#include "testing/pg_schema_test.h"
#include "tools/quillor/commands.h"

namespace quillor {
namespace {

// The release's query statement up to its condition.
std::string QueryStatement(const ReleaseProfile& release) {
  return JoinPieces(release.query_statement_pieces) +
         std::string(release.query_condition_separator);
}

class PgHostSchema : public testing::PgSchemaTest {
 protected:
  void SetUp() override {
    PgSchemaTest::SetUp();
    if (IsSkipped()) return;
    CreateHostTables(*conn_);
  }

  int64_t Rows(const std::string& sql) {
    return conn_->Open(sql, CursorType::kKeyset)->RecordCount();
  }

  // One product P100 of department D01, cost object 1001, mapped for batch B1.
  void Seed() {
    conn_->Execute("insert into ca_depDf(cDeptID, bIsBaseDep) values('D01', 1), ('D02', 0)");
    conn_->Execute(
        "insert into caq_coreal(iRealCOID, cDeptID, InvCode, Free1, cMOCode, iMOSubSN, iMORouteSN) "
        "values(1001, 'D01', 'P100', 'F1', 'MO7', 2, 3)");
    conn_->Execute(
        "insert into ca_batchmap(iRealCOID, cbatch, InvCode, Free1, iMORouteSN) "
        "values(1001, 'B1', 'P100', 'F1', 3)");
    conn_->Execute("insert into gl_mend(iperiod, bflag_CA) values(4, 1), (5, 0)");
  }
};

TEST_F(PgHostSchema, CreatingAgainKeepsTablesAndRows) {
  conn_->Execute("insert into Inventory(cInvCode) values('M01')");
  CreateHostTables(*conn_);
  EXPECT_EQ(Rows("select distinct cInvCode from Inventory where cInvcode='M01'"), 1);
}

TEST_F(PgHostSchema, ConditionColumnsReportTheirAdoTypes) {
  auto check =
      conn_->Open(JoinPieces(Release871().check_statement_pieces), CursorType::kForwardOnly);
  EXPECT_EQ(check->FieldCount(), 23);
  EXPECT_TRUE(check->Eof());
  for (const auto& c : testing::kConditionColumns) {
    EXPECT_EQ(check->FieldType(check->FieldIndex(c.name)), testing::ExpectedAdoType(c.kind, 202))
        << c.name;
  }
  auto whole =
      conn_->Open(JoinPieces(Release850().check_statement_pieces), CursorType::kForwardOnly);
  EXPECT_EQ(whole->FieldType(whole->FieldIndex("irdcode")), 3);
  EXPECT_EQ(whole->FieldType(whole->FieldIndex("cppid")), 202);
}

TEST_F(PgHostSchema, ValidationLookupsCompareBitsAndTextsAsTheHostDoes) {
  Seed();
  EXPECT_EQ(Rows("select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D01'"), 1);
  EXPECT_EQ(Rows("select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D02'"), 0);
  auto found = conn_->Open(
      "select iRealCOID from caq_coreal where cMOCode='MO7' and  iMOSubSN=2 and  iMORouteSN=3 ",
      CursorType::kKeyset);
  ASSERT_EQ(found->RecordCount(), 1);
  EXPECT_EQ(ValueText(found->Value("iRealCOID")), "1001");
  EXPECT_TRUE(
      ValueTruth(conn_->Open("select bFlag_CA from gl_mend where iperiod=4", CursorType::kKeyset)
                     ->Value("bflag_Ca")));
  EXPECT_FALSE(
      ValueTruth(conn_->Open("select bFlag_CA from gl_mend where iperiod=5", CursorType::kKeyset)
                     ->Value("bflag_Ca")));
}

TEST_F(PgHostSchema, RowWriteReplacesByItsKeyWithThePeriodQuoted) {
  Seed();
  const std::string remove =
      "delete from ca_mabsw where cdeptid='D01' and cppid ='1001' and cmatid='M01' and "
      "cbatch='B1' and iperiod='5' and irdcode=0";
  const std::string insert =
      "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua,irdcode)   "
      "values('D01','1001','M01','B1',2.50, 3,5,6,0)";
  EXPECT_EQ(conn_->Execute(remove), 0);
  EXPECT_EQ(conn_->Execute(insert), 1);
  EXPECT_EQ(conn_->Execute(remove), 1);
  EXPECT_EQ(conn_->Execute(insert), 1);
  EXPECT_EQ(conn_->Execute(
                "delete from ca_mabsw where cdeptid='D01' and cppid is null and cmatid='M01' and "
                "cbatch='' and iperiod='5' and irdcode=0"),
            0);
  EXPECT_EQ(Rows("select * from ca_mabsw"), 1);
}

TEST_F(PgHostSchema, QueriesJoinTheTextIdToTheIntegerId) {
  Seed();
  conn_->Execute(
      "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua,irdcode)   "
      "values('D01','1001','M01','B1',2,3,5,6,8)");
  conn_->Execute(
      "insert ca_mabsw(cdeptid,cmatid,iprice,iqua,iperiod,imatqua)   values('D01','M02',1,1,6,1)");

  const ReleaseProfile& r871 = Release871();
  auto rows =
      conn_->Open(QueryStatement(r871) + "where cMatID='M01' and iPeriod>=3", CursorType::kStatic);
  ASSERT_EQ(rows->RecordCount(), 1);
  EXPECT_EQ(rows->Value("cppid").Text(), "P100");
  EXPECT_EQ(rows->Value("cFree1").Text(), "F1");
  EXPECT_EQ(rows->Value("cFree2").Text(), "");
  EXPECT_EQ(rows->Value("irdcode").Integer(), 8);
  EXPECT_EQ(rows->Value("cmoroutesn").Integer(), 3);
  EXPECT_EQ(rows->Value("ompflag").Integer(), 0);
  EXPECT_EQ(rows->Value("iPrice").Double(), 2.0);

  // A row without a cost object joins nothing and reads the defaults.
  auto lone = conn_->Open(QueryStatement(r871) + "where cMatID='M02'", CursorType::kStatic);
  ASSERT_EQ(lone->RecordCount(), 1);
  EXPECT_EQ(lone->Value("cppid").Text(), "");
  EXPECT_EQ(lone->Value("irdcode").Integer(), 0);

  // The earlier release joins the cost-object table and turns numbers into ten-place texts.
  const ReleaseProfile& r861 = Release861();
  auto old = conn_->Open(QueryStatement(r861) + "where cMatID='M01'", CursorType::kStatic);
  ASSERT_EQ(old->RecordCount(), 1);
  EXPECT_EQ(old->Value("cmocode").Text(), "MO7");
  EXPECT_EQ(old->Value("cmoroutesn").Text(), "         3");
  EXPECT_EQ(old->Value("cmosubsn").Text(), "         2");
}

// Texts meet numbers as the host engine has them meet: the text is read as a
// number (blanks around it ignored, empty text 0); a text that is no number
// matches nothing. And str() writes as the host writes it.
TEST_F(PgHostSchema, TextsCompareWithNumbersAsNumbersAndStrWritesAsTheHost) {
  const struct {
    const char* condition;
    bool holds;
  } cases[] = {
      {"'         2'::text = 2", true},
      {"'         2'::text = 2.0", true},
      {"''::text = 0", true},
      {"'         3'::text > 2", true},
      {"''::text > 2", false},
      {"'        12'::text >= 12", true},
      {"'         2'::text < 10", true},
      {"'         2'::text <> 2", false},
      {"2 = '         2'::text", true},
      {"2.5 > ' 2 '::text", true},
      {"'abc'::text = 0", false},
      {"'abc'::text <> 0", false},
      {"'1001'::varchar = 1001", true},
      {"' 1001'::varchar = 1001", true},
  };
  for (const auto& c : cases) {
    const std::string sql = std::string("select 1 as x where ") + c.condition;
    EXPECT_EQ(Rows(sql), c.holds ? 1 : 0) << c.condition;
  }
  const struct {
    const char* x;
    const char* text;
  } strs[] = {
      {"2.5", "         3"},         {"-2.5", "        -3"},       {"0.5", "         1"},
      {"7", "         7"},           {"1234567890", "1234567890"}, {"12345678901", "**********"},
      {"-1000000000", "**********"},
  };
  for (const auto& c : strs) {
    EXPECT_EQ(conn_->Open(std::string("select str(") + c.x + ") as s", CursorType::kStatic)
                  ->Value("s")
                  .Text(),
              c.text)
        << c.x;
  }
}

TEST(PgInitDb, CreatesTablesAndSampleOnTheServer) {
  const auto text = testing::PgConnectionText();
  if (!text) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
  testing::PgDatabase db(*text);
  std::ostringstream out, err;
  ASSERT_EQ(RunInitDb({db.text(), true}, out, err), 0) << err.str();
  EXPECT_EQ(RunInitDb({db.text(), false}, out, err), 0) << err.str();
  auto conn = db.Open();
  EXPECT_EQ(conn->Open("select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D01'",
                       CursorType::kKeyset)
                ->RecordCount(),
            1);
}

}  // namespace
}  // namespace quillor
