#include "entry/row_write.h"

#include "testing/entry_fixture.h"

namespace quillor::testing {
namespace {

const Fields kLine{{"departmentno", "D01"}, {"productno", "P100"}, {"inventoryno", "M01"},
                   {"serial", "B1"},        {"price", "2"},        {"quantity", "3"},
                   {"period", "5"},         {"totalmoney", "6"},   {"irdcode", "0"}};

const char* const kDelete =
    "delete from ca_mabsw where cdeptid='D01' and cppid ='1001' and cmatid='M01' and cbatch='B1' "
    "and iperiod='5' and irdcode=0";
const char* const kInsert =
    "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua,irdcode)   "
    "values('D01','1001','M01','B1',2,3,5,6,0)";
const char* const kAllRows =
    "select cDeptID,cppid,cMatID,cBatch,iPrice,iQua,iPeriod,iMatQua,irdcode from ca_mabsw "
    "order by iPrice, cDeptID, cMatID";
const char* const kRecordExists = "材料表中已存在该记录，不能重复！";

using Rows = std::vector<std::vector<std::string>>;

class RowWriteTest : public EntryTest {
 protected:
  bool Save(const Fields& fields, const std::string& cost_object_id, std::string& message) {
    recorder_.Clear();
    MaterialElement material(fields);
    const ItemResult result = SaveItem(Context(), material.element(), cost_object_id);
    if (result.ok()) {
      EXPECT_EQ(result.message, "");
    } else {
      EXPECT_EQ(result.code, ItemCode::kWriteFailed);
      message = result.message;
    }
    return result.ok();
  }
  void ExpectSaved(const Fields& fields, const std::string& cost_object_id = "1001") {
    std::string message = "kept";
    EXPECT_TRUE(Save(fields, cost_object_id, message));
    EXPECT_EQ(message, "kept");
  }
  void ExpectRefused(const Fields& fields, const std::string& cost_object_id = "1001") {
    std::string message;
    EXPECT_FALSE(Save(fields, cost_object_id, message));
    EXPECT_EQ(message, kRecordExists);
  }
  Rows AllRows() { return db_.Rows(kAllRows); }
};

TEST_F(RowWriteTest, DeletesTheKeyThenInsertsAsOneUnit) {
  ExpectSaved(kLine);
  EXPECT_EQ(recorder_.events(), (std::vector<std::string>{"BEGIN", kDelete, kInsert, "COMMIT"}));
  EXPECT_EQ(AllRows(), (Rows{{"D01", "1001", "M01", "B1", "2", "3", "5", "6", "0"}}));
}

TEST_F(RowWriteTest, WithoutProductAndBatch) {
  ExpectSaved(With(With(kLine, "productno", nullptr), "serial", nullptr), "");
  EXPECT_EQ(Statements(),
            (std::vector<std::string>{
                "delete from ca_mabsw where cdeptid='D01' and cppid is null and cmatid='M01' and "
                "cbatch='' and iperiod='5' and irdcode=0",
                "insert ca_mabsw(cdeptid,cmatid,iprice,iqua,iperiod,imatqua,irdcode)   "
                "values('D01','M01',2,3,5,6,0)"}));
}

TEST_F(RowWriteTest, ALineSentAgainReplacesItsRow) {
  struct Case {
    const char* name;
    Fields fields;
    std::string cost_object_id;
    std::vector<std::string> row;
  };
  const Case cases[] = {
      {"all fields", kLine, "1001", {"D01", "1001", "M01", "B1", "2", "3", "5", "6", "0"}},
      {"no product",
       With(kLine, "productno", nullptr),
       "",
       {"D01", "NULL", "M01", "B1", "2", "3", "5", "6", "0"}},
      {"product without cost object", kLine, "", {"D01", "", "M01", "B1", "2", "3", "5", "6", "0"}},
      {"no irdcode",
       With(kLine, "irdcode", nullptr),
       "1001",
       {"D01", "1001", "M01", "B1", "2", "3", "5", "6", "NULL"}},
      {"irdcode 1",
       With(kLine, "irdcode", "1"),
       "1001",
       {"D01", "1001", "M01", "B1", "2", "3", "5", "6", "8"}},
  };
  for (const Case& c : cases) {
    db_.Run("delete from ca_mabsw");
    ExpectSaved(c.fields, c.cost_object_id);
    ExpectSaved(c.fields, c.cost_object_id);
    EXPECT_EQ(AllRows(), Rows{c.row}) << c.name;
  }
}

TEST_F(RowWriteTest, KeyConditionsMatchTheStoredRow) {
  ExpectSaved(kLine, "");
  EXPECT_EQ(Statements()[0],
            "delete from ca_mabsw where cdeptid='D01' and cppid ='' and cmatid='M01' and "
            "cbatch='B1' and iperiod='5' and irdcode=0");
  ExpectSaved(With(kLine, "irdcode", nullptr));
  EXPECT_EQ(Statements()[0],
            "delete from ca_mabsw where cdeptid='D01' and cppid ='1001' and cmatid='M01' and "
            "cbatch='B1' and iperiod='5' and irdcode is null");
  EXPECT_EQ(Statements()[1],
            "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua)   "
            "values('D01','1001','M01','B1',2,3,5,6)");
}

TEST_F(RowWriteTest, IrdcodeIsStoredAsZeroOrEight) {
  struct Case {
    const char* text;
    const char* stored;
  };
  const Case cases[] = {{"0", "0"},
                        {"0.0", "0"},
                        {" 0 ", "0"},
                        {"-0", "0"},
                        {"8", "8"},
                        {"1", "8"},
                        {"-3", "8"},
                        {"0.5", "8"},
                        // pretty-printed text and the runtime's radix prefixes
                        {"\n  0\n", "0"},
                        {"\r\n0\r\n", "0"},
                        {"&H0", "0"},
                        {"&O0", "0"},
                        {"&H8", "8"},
                        {"\n&H10\n", "8"}};
  for (const Case& c : cases) {
    ExpectSaved(With(kLine, "irdcode", c.text));
    EXPECT_TRUE(Statements()[0].ends_with(std::string(" and irdcode=") + c.stored)) << c.text;
    EXPECT_TRUE(Statements()[1].ends_with(std::string(",") + c.stored + ")")) << c.text;
  }
}

TEST_F(RowWriteTest, NumericTextsAreWrittenAsTheyCame) {
  ExpectSaved(With(With(kLine, "price", "2.50"), "quantity", " 3"));
  EXPECT_EQ(Statements()[1],
            "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua,irdcode)   "
            "values('D01','1001','M01','B1',2.50, 3,5,6,0)");
}

TEST_F(RowWriteTest, ATextThatIsNoNumberFailsBeforeAnyStatement) {
  ExpectSaved(kLine);
  const Rows before = AllRows();
  const char* const bad[] = {"x1", "2 or 1=1", "1);delete from ca_mabsw;--", "2,3", "", " "};
  for (const char* field : {"price", "quantity", "period", "totalmoney", "irdcode"}) {
    for (const char* value : bad) {
      if (*value == '\0') continue;  // an empty field is simply not written
      ExpectRefused(With(kLine, field, value));
      EXPECT_TRUE(recorder_.events().empty()) << field << "=" << value;
    }
  }
  EXPECT_EQ(AllRows(), before);
}

TEST_F(RowWriteTest, QuotesAndStatementTextStayInTheirValues) {
  db_.Run("insert into ca_mabsw values('D02','7','M02','B2',1,1,5,1,0)");
  const Fields hostile{{"departmentno", "D'1"},
                       {"productno", "P100"},
                       {"inventoryno", "M'); delete from ca_mabsw; --"},
                       {"serial", "B' or '1'='1"},
                       {"price", "2"},
                       {"quantity", "3"},
                       {"period", "5"},
                       {"totalmoney", "6"},
                       {"irdcode", "0"}};
  ExpectSaved(hostile, "1'1");
  ExpectSaved(hostile, "1'1");
  EXPECT_EQ(AllRows(), (Rows{{"D02", "7", "M02", "B2", "1", "1", "5", "1", "0"},
                             {"D'1", "1'1", "M'); delete from ca_mabsw; --", "B' or '1'='1", "2",
                              "3", "5", "6", "0"}}));
  EXPECT_EQ(Statements()[0],
            "delete from ca_mabsw where cdeptid='D''1' and cppid ='1''1' and cmatid='M''); delete "
            "from ca_mabsw; --' and cbatch='B'' or ''1''=''1' and iperiod='5' and irdcode=0");
  // The period is compared as quoted text: a quote in it cannot end the literal.
  ExpectRefused(With(kLine, "period", "5' or '1'='1"));
  EXPECT_EQ(AllRows().size(), 2u);
}

TEST_F(RowWriteTest, AFailedInsertionKeepsTheEarlierRow) {
  ExpectSaved(kLine);
  const Rows before = AllRows();
  recorder_.faults.FailWhen([](std::string_view sql) { return sql.starts_with("insert"); });
  ExpectRefused(kLine);
  EXPECT_EQ(recorder_.events(), (std::vector<std::string>{"BEGIN", kDelete, kInsert, "ROLLBACK"}));
  EXPECT_EQ(AllRows(), before);
}

TEST_F(RowWriteTest, ADatabaseThatRejectsTheWriteGivesTheFixedText) {
  db_.Run("drop table ca_mabsw");
  ExpectRefused(kLine);
}

// A catalogue that cannot give the write-failure text.
class NoTexts final : public MessageTexts {
 public:
  std::string Text(std::string_view id) const override {
    throw Failure(failure_numbers::kFail, "no text for " + std::string(id));
  }
};

TEST_F(RowWriteTest, AFailureToFetchTheTextPassesToTheCaller) {
  db_.Run("drop table ca_mabsw");
  NoTexts texts;
  const EntryContext ctx{recorder_, texts, Release871(), 0};
  MaterialElement material(kLine);
  EXPECT_THROW(SaveItem(ctx, material.element(), "1001"), Failure);
}

TEST_F(RowWriteTest, Release861OnlyInsertsWithoutIrdcode) {
  UseRelease(Release861());
  // irdcode is not read, so a text that is no number does not matter.
  const Fields line = With(kLine, "irdcode", "x1");
  ExpectSaved(line);
  ExpectSaved(line);
  EXPECT_EQ(recorder_.events(),
            (std::vector<std::string>{
                "BEGIN",
                "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua)   "
                "values('D01','1001','M01','B1',2,3,5,6)",
                "COMMIT"}));
  EXPECT_EQ(AllRows().size(), 2u);
  ExpectRefused(With(kLine, "price", "2;"));
  EXPECT_TRUE(recorder_.events().empty());
}

TEST_F(RowWriteTest, Release850StoresTheProductNumber) {
  UseRelease(Release850());
  ExpectSaved(kLine, "");
  EXPECT_EQ(Statements(),
            (std::vector<std::string>{
                "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua)   "
                "values('D01','P100','M01','B1',2,3,5,6)"}));
  ExpectSaved(With(kLine, "productno", "P'9"), "");
  EXPECT_TRUE(Statements()[0].find("'P''9'") != std::string::npos) << Statements()[0];
}

}  // namespace
}  // namespace quillor::testing
