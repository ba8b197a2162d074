// The three releases end to end: MaterialComponent::Create(profile) and Transact over a
// temporary host database. What the releases share runs against each of them;
// each release's own behaviour is asserted where it differs, statements byte for
// byte from the trace.
#include <gtest/gtest.h>

#include <algorithm>

#include "testing/release_host.h"

namespace quillor::testing {
namespace {

constexpr const char* kWriteFailed = "数据库操作错误：材料表中已存在该记录，不能重复！";

// What differs between the releases in the shared scenarios.
struct ReleaseCase {
  const ReleaseProfile& (*profile)();
  std::string insertion;          // the statement that stores the good line
  std::string stored_cppid;       // what it stores as the product
  bool replaces;                  // a line sent again replaces its row
  std::string queried_productno;  // what a query reads back as the good line's product
  std::string query_for_m1;       // the statement of a query on cMatID='M1'
};

// The product's free values and its structure version, alike in 8.71 and 8.61.
const std::string kFreeColumns =
    "   isnull(b.Free1,'') as cFree1, isnull(b.Free2,'') as cFree2, \r\n"
    "   isnull(b.Free3,'') as cFree3, isnull(b.Free4,'') as cFree4, \r\n"
    "   isnull(b.Free5,'') as cFree5, isnull(b.Free6,'') as cFree6, \r\n"
    "   isnull(b.Free7,'') as cFree7, isnull(b.Free8,'') as cFree8, \r\n"
    "   isnull(b.Free9,'') as cFree9, isnull(b.Free10,'') as cFree10, \r\n"
    "   isnull(b.Version,'') as cbomver, isnull(b.IdentCode,'') as cbomvertd, \r\n";

const std::string kQuery871 =
    "select c.* from \r\n"
    " (select a.cDeptID,isnull(b.InvCode,'') as cppid, a.cMatID, a.cBatch, iPrice, a.iQua, "
    "a.iPeriod ,a.iMatQua,case isnull(a.irdcode,0) when 0 then 0 else 8 end as irdcode, \r\n" +
    kFreeColumns +
    "   isnull(b.iMORouteSN,0) as cmoroutesn, isnull(b.cMOCode,'') as cmocode, \r\n"
    "   isnull(b.iMOSubSN,0) as cmosubsn,isnull(b.ompflag,0) as ompflag\r\n"
    " from ca_mabsw a left join ca_batchmap b on a.cppid=b.iRealCOID and a.cbatch = b.cbatch\r\n"
    " ) as c\r\n";

const std::string kQuery861 =
    "select c.* from \r\n"
    " (select a.cDeptID,isnull(b.InvCode,'') as cppid, a.cMatID, a.cBatch, iPrice, a.iQua, "
    "a.iPeriod ,a.iMatQua,\r\n" +
    kFreeColumns +
    "   isnull(str(iMORouteSN),'') as cmoroutesn, isnull(b.cMOCode,'') as cmocode, \r\n"
    "   isnull(str(iMOSubSN),'')  as cmosubsn\r\n"
    " from ca_mabsw a left join caq_coreal b on a.cppid=b.iRealCOID \r\n"
    " ) as c\r\n";

const ReleaseCase kCases[] = {
    {&Release871,
     "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua,irdcode)   "
     "values('D1','7','M1','B1',2,3,4,6,8)",
     "7", true, "", kQuery871 + "where cMatID='M1'"},
    {&Release861,
     "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua)   "
     "values('D1','7','M1','B1',2,3,4,6)",
     "7", false, "P1", kQuery861 + "where cMatID='M1'"},
    {&Release850,
     "insert ca_mabsw(cdeptid,cppid,cmatid,cbatch,iprice,iqua,iperiod,imatqua)   "
     "values('D1','P1','M1','B1',2,3,4,6)",
     "P1", false, "P1", "select * from ca_mabsw where cMatID='M1'"},
};

void PrintTo(const ReleaseCase& c, std::ostream* os) { *os << c.profile().release; }

using Fields = std::vector<std::pair<std::string, std::string>>;

// A line every release accepts; irdcode is read only where it is written.
Fields GoodLine() {
  return {{"departmentno", "D1"}, {"productno", "P1"}, {"inventoryno", "M1"},
          {"serial", "B1"},       {"price", "2"},      {"quantity", "3"},
          {"period", "4"},        {"totalmoney", "6"}, {"irdcode", "5"}};
}

Fields With(Fields fields, const std::string& name, const std::string& value) {
  for (auto& [n, v] : fields) {
    if (n == name) {
      v = value;
      return fields;
    }
  }
  fields.emplace_back(name, value);
  return fields;
}

Fields Without(Fields fields, const std::string& name) {
  std::erase_if(fields, [&](const auto& f) { return f.first == name; });
  return fields;
}

std::vector<std::string> Matching(const std::vector<std::string>& statements,
                                  std::string_view part) {
  std::vector<std::string> out;
  for (const std::string& s : statements) {
    if (s.find(part) != std::string::npos) out.push_back(s);
  }
  return out;
}

class EveryRelease : public ::testing::TestWithParam<ReleaseCase> {
 protected:
  EveryRelease() { SeedReleaseHost(host_.db); }
  const ReleaseProfile& profile() const { return GetParam().profile(); }
  std::vector<std::vector<std::string>> StoredRows() {
    return host_.db.Rows(
        "select cDeptID,cppid,cMatID,cBatch,iPrice,iQua,iPeriod,iMatQua from ca_mabsw "
        "order by rowid");
  }
  ReleaseHost host_{GetParam().profile()};
};

std::string ErrorReply(std::string_view code, std::string_view message) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"" + std::string(code) +
         "\" message=\"" + std::string(message) + "\"/>";
}

TEST_P(EveryRelease, EnvelopeRepliesCarryTheSameTexts) {
  EXPECT_EQ(host_.CallWith(ReleaseAddRequest(""), ""), ErrorReply("529", "数据库连接错误!"));
  EXPECT_EQ(host_.Call("<ufinterface"), ErrorReply("100", "解析XML时发生错误,请你检查XML参数格式"));
  EXPECT_EQ(host_.Call(R"(<ufinterface roottag="material" proc="DELETE"/>)"),
            ErrorReply("710", "未知的Proc操作"));
  EXPECT_EQ(host_.Call(ReleaseAddRequest("")),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply docid=\"d1\" proc=\"ADD\"/>");
}

TEST_P(EveryRelease, RefusalsWithoutAProductAreTheSame) {
  const Fields line = Without(GoodLine(), "productno");
  const std::string request = ReleaseAddRequest(
      Line("1", Without(line, "departmentno")) + Line("2", With(line, "departmentno", "D2")) +
      Line("3", With(line, "departmentno", "D'X")) + Line("4", Without(line, "inventoryno")) +
      Line("5", With(line, "inventoryno", "M9")) + Line("6", With(line, "serial", "B9")) +
      Line("7", With(line, "quantity", "0")) + Line("8", With(line, "period", "13")) +
      Line("9", With(line, "totalmoney", "7")) + Line("10", line));
  EXPECT_EQ(Items(host_.Call(request)), (std::vector<std::string>{
                                            "1 101 部门编号不能为空！",
                                            "2 101 D2部门不是基本核算部门！",
                                            "3 101 D'X部门不是基本核算部门！",
                                            "4 101 存货编码不能为空！",
                                            "5 101 存货档案中无该存货编码M9",
                                            "6 101 生产批号表中无该批号！",
                                            "7 101 耗量不能为0！",
                                            "8 101 期间应在1到12间！",
                                            "9 101 “总金额”不等于 “单价*耗量”！",
                                            "10 0 成功",
                                        }));
  EXPECT_EQ(Matching(host_.Statements(), "D''X"),
            std::vector<std::string>{
                "select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D''X'"});
  EXPECT_EQ(StoredRows().size(), 1u);
}

TEST_P(EveryRelease, AGoodLineIsStoredWithItsReleasesStatement) {
  EXPECT_EQ(Items(host_.Call(ReleaseAddRequest(Line("1", GoodLine())))),
            std::vector<std::string>{"1 0 成功"});
  const std::vector<std::string> writes = Matching(host_.Statements(), "ca_mabsw");
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.back(), GetParam().insertion);
  EXPECT_EQ(Matching(writes, "delete").size(), GetParam().replaces ? 1u : 0u);
  const std::string cppid = GetParam().insertion.find("'P1'") != std::string::npos ? "P1" : "7";
  EXPECT_EQ(StoredRows(),
            (std::vector<std::vector<std::string>>{{"D1", cppid, "M1", "B1", "2", "3", "4", "6"}}));
}

TEST_P(EveryRelease, ALineSentAgainIsReplacedOnlyWhereTheReleaseDeletes) {
  const std::string request = ReleaseAddRequest(Line("1", GoodLine()));
  EXPECT_EQ(Items(host_.Call(request)), std::vector<std::string>{"1 0 成功"});
  EXPECT_EQ(Items(host_.Call(request)), std::vector<std::string>{"1 0 成功"});
  EXPECT_EQ(StoredRows().size(), GetParam().replaces ? 1u : 2u);
}

TEST_P(EveryRelease, AValueThatIsNoNumberNeverReachesTheInsertion) {
  const std::string request =
      ReleaseAddRequest(Line("1", With(GoodLine(), "price", "2);delete from ca_depDf;--")));
  EXPECT_EQ(Items(host_.Call(request)),
            std::vector<std::string>{std::string("1 100 ") + kWriteFailed});
  EXPECT_TRUE(Matching(host_.Statements(), "insert").empty());
  EXPECT_EQ(host_.db.Rows("select count(*) from ca_depDf"),
            (std::vector<std::vector<std::string>>{{"2"}}));
}

TEST_P(EveryRelease, AFailedInsertionLosesNoRow) {
  EXPECT_EQ(Items(host_.Call(ReleaseAddRequest(Line("1", GoodLine())))),
            std::vector<std::string>{"1 0 成功"});
  host_.db.Run(
      "create trigger refuse before insert on ca_mabsw when new.iQua = 99 "
      "begin select raise(abort, 'refused'); end");
  // The same key with another quantity: where the release deletes first, the
  // deletion must not outlive the refused insertion.
  const Fields again =
      With(With(With(GoodLine(), "price", "1"), "quantity", "99"), "totalmoney", "99");
  EXPECT_EQ(Items(host_.Call(ReleaseAddRequest(Line("1", again)))),
            std::vector<std::string>{std::string("1 100 ") + kWriteFailed});
  const auto rows = StoredRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][5], "3");
}

TEST_P(EveryRelease, AQueryReturnsTheMatchingRows) {
  host_.Call(ReleaseAddRequest(Line("1", GoodLine()) +
                               Line("2", With(Without(GoodLine(), "productno"), "period", "5"))));
  host_.Statements();
  const auto rows = ReplyRows(host_.Call(
      ReleaseQueryRequest(Field("cMatID", "=", "M1", "and") + Field("iPeriod", "=", "4"))));
  EXPECT_EQ(Matching(host_.Statements(), "where cMatID"),
            std::vector<std::string>{GetParam().query_for_m1 + " and iPeriod=4"});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("@id"), "1");
  EXPECT_EQ(rows[0].at("departmentno"), "D1");
  EXPECT_EQ(rows[0].at("inventoryno"), "M1");
  EXPECT_EQ(rows[0].at("serial"), "B1");
  EXPECT_EQ(rows[0].at("quantity"), "3");
  EXPECT_EQ(rows[0].at("productno"), GetParam().queried_productno);
}

TEST_P(EveryRelease, QueryValuesNeverChangeTheStatement) {
  host_.Call(ReleaseAddRequest(Line("1", GoodLine())));
  // A quote inside a text is doubled: no row, no failure.
  EXPECT_TRUE(
      ReplyRows(host_.Call(ReleaseQueryRequest(Field("cMatID", "=", "M1' or '1'='1")))).empty());
  EXPECT_EQ(Matching(host_.Statements(), "where cMatID='M1'' or ''1''=''1'").size(), 1u);
  // A number column takes numbers only, and the operator comes from the allowed list.
  EXPECT_EQ(host_.Call(ReleaseQueryRequest(Field("iPeriod", "=", "4 or 1=1"))),
            ErrorReply("5", "Condition 1: value &quot;4 or 1=1&quot; is not a number"));
  EXPECT_EQ(host_.Call(ReleaseQueryRequest(Field("iPeriod", "=4 or 1", "1"))),
            ErrorReply("5", "Condition 1: operation &quot;=4 or 1&quot; is not allowed"));
  EXPECT_TRUE(Matching(host_.Statements(), "or 1").empty());
}

INSTANTIATE_TEST_SUITE_P(Releases, EveryRelease, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ReleaseCase>& info) {
                           std::string name(info.param.profile().release);
                           std::erase(name, '.');
                           return "R" + name;
                         });

// Each release's own differences.
class OneRelease : public ::testing::Test {
 protected:
  static std::unique_ptr<ReleaseHost> Host(const ReleaseProfile& profile) {
    auto host = std::make_unique<ReleaseHost>(profile);
    SeedReleaseHost(host->db);
    return host;
  }
};

TEST_F(OneRelease, ClosedPeriodComesAfterTheRangeAndBeforeTheTotal) {
  const std::string request = ReleaseAddRequest(
      Line("1", With(GoodLine(), "period", "3")) +
      Line("2", With(With(GoodLine(), "period", "3"), "totalmoney", "7")) +
      Line("3", With(GoodLine(), "period", "13")) + Line("4", With(GoodLine(), "period", "5")) +
      Line("5", With(GoodLine(), "period", "2.6")));
  for (const ReleaseProfile* profile : {&Release861(), &Release850()}) {
    auto host = Host(*profile);
    host->db.Run("insert into gl_mend values(3,1)");
    host->db.Run("insert into gl_mend values(5,0)");
    EXPECT_EQ(Items(host->Call(request)), (std::vector<std::string>{
                                              "1 101 该期间已结帐！",
                                              "2 101 该期间已结帐！",
                                              "3 101 期间应在1到12间！",
                                              "4 0 成功",
                                              "5 101 该期间已结帐！",
                                          }))
        << profile->release;
    // The period as a whole number; a period out of range is never looked up.
    EXPECT_EQ(Matching(host->Statements(), "gl_mend"),
              (std::vector<std::string>{"select bFlag_CA from gl_mend where iperiod=3",
                                        "select bFlag_CA from gl_mend where iperiod=3",
                                        "select bFlag_CA from gl_mend where iperiod=5",
                                        "select bFlag_CA from gl_mend where iperiod=3"}))
        << profile->release;
  }
  auto host = Host(Release871());
  host->db.Run("insert into gl_mend values(3,1)");
  EXPECT_EQ(Items(host->Call(request)),
            (std::vector<std::string>{
                "1 0 成功",
                "2 101 “总金额”不等于 “单价*耗量”！",
                "3 101 期间应在1到12间！",
                "4 0 成功",
                // 2.6 passes validation as 3, but no integer
                // column takes it: the write fails.
                "5 100 数据库操作错误：材料表中已存在该记录，不能重复！",
            }));
  EXPECT_TRUE(Matching(host->Statements(), "gl_mend").empty());
}

TEST_F(OneRelease, Release850RefusesAnUnknownProductBeforeTheInventory) {
  auto host = Host(Release850());
  const Fields line = Without(GoodLine(), "inventoryno");
  EXPECT_EQ(Items(host->Call(ReleaseAddRequest(Line("1", With(line, "productno", "P9")) +
                                               Line("2", With(line, "productno", "P'9"))))),
            (std::vector<std::string>{"1 101 产品结构主表中无该产品编码P9",
                                      "2 101 产品结构主表中无该产品编码P'9"}));
  EXPECT_EQ(host->Statements(),
            (std::vector<std::string>{
                "select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D1'",
                "select distinct cPSPCode from ProductStructureEx where cPSPCode='P9'",
                "select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D1'",
                "select distinct cPSPCode from ProductStructureEx where cPSPCode='P''9'",
            }));
  // The later releases resolve the product to a cost object instead.
  auto later = Host(Release861());
  EXPECT_EQ(Items(later->Call(ReleaseAddRequest(Line("1", With(line, "productno", "P9"))))),
            std::vector<std::string>{"1 101 部门：D1, 产品：P9，找不到对应的成本对象！"});
  EXPECT_TRUE(Matching(later->Statements(), "ProductStructureEx").empty());
}

TEST_F(OneRelease, Release850QueryWithoutConditionsReadsTheWholeTable) {
  auto host = Host(Release850());
  host->Call(ReleaseAddRequest(Line("1", GoodLine()) + Line("2", With(GoodLine(), "period", "5"))));
  host->Statements();
  const auto rows = ReplyRows(host->Call(ReleaseQueryRequest("", nullptr)));
  EXPECT_EQ(host->Statements(), (std::vector<std::string>{"select * from ca_mabsw where 1>1",
                                                          "select * from ca_mabsw "}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].at("@id"), "2");
  EXPECT_EQ(rows[1].at("period"), "5");
  EXPECT_EQ(rows[1].at("productno"), "P1");
}

TEST_F(OneRelease, OnlyRelease850AcceptsAConditionOnIrdcode) {
  const std::string request = ReleaseQueryRequest(Field("irdcode", "=", "0"));
  auto host = Host(Release850());
  host->db.Run("insert into ca_mabsw(cDeptID,cMatID,irdcode) values('D1','M1',0)");
  host->db.Run("insert into ca_mabsw(cDeptID,cMatID,irdcode) values('D1','M2',8)");
  const auto rows = ReplyRows(host->Call(request));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("inventoryno"), "M1");
  EXPECT_EQ(rows[0].at("irdcode"), "0");
  for (const ReleaseProfile* profile : {&Release871(), &Release861()}) {
    auto later = Host(*profile);
    EXPECT_EQ(later->Call(request), ErrorReply("3265",
                                               "Item cannot be found in the collection "
                                               "corresponding to the requested name or "
                                               "ordinal."))
        << profile->release;
  }
}

TEST_F(OneRelease, Release850ServesADatabaseWithoutTheOptions) {
  auto host = Host(Release850());
  host->db.Run("drop table AccInformation");
  EXPECT_EQ(Items(host->Call(ReleaseAddRequest(Line("1", GoodLine())))),
            std::vector<std::string>{"1 0 成功"});
  EXPECT_EQ(ReplyRows(host->Call(ReleaseQueryRequest("", nullptr))).size(), 1u);
  EXPECT_TRUE(Matching(host->Statements(), "accinformation").empty());
  // Without a batch the costing method is still read from AccInformation.
  EXPECT_EQ(Items(host->Call(ReleaseAddRequest(Line("1", Without(GoodLine(), "serial"))))),
            std::vector<std::string>{"Item 999 [SQLite] no such table: AccInformation"});
  // The later releases need the options table for every operation.
  for (const ReleaseProfile* profile : {&Release871(), &Release861()}) {
    auto later = Host(*profile);
    later->db.Run("drop table AccInformation");
    EXPECT_EQ(later->Call(ReleaseAddRequest(Line("1", GoodLine()))),
              ErrorReply("-2147217900", "[SQLite] no such table: accinformation"))
        << profile->release;
  }
}

TEST_F(OneRelease, Release850ReadsTheCostingMethodByCaption) {
  const std::string request = ReleaseAddRequest(Line("1", Without(GoodLine(), "serial")));
  const char* const batch_required = "1 101 完全分批法时，专用材料对应的产品批号不能为空！";
  struct Case {
    const ReleaseProfile* profile;
    const char* row;
    std::string item;
  };
  const Case cases[] = {
      {&Release850(), "('ca','99','成本计算方法','1')", batch_required},
      {&Release850(), "('ca','06','其他','1')", "1 0 成功"},
      {&Release861(), "('ca','06','其他','1')", batch_required},
      {&Release861(), "('ca','99','成本计算方法','1')", "1 0 成功"},
  };
  for (const Case& c : cases) {
    auto host = Host(*c.profile);
    host->db.Run(std::string("insert into AccInformation values") + c.row);
    EXPECT_EQ(Items(host->Call(request)), std::vector<std::string>{c.item})
        << c.profile->release << " " << c.row;
  }
  auto host = Host(Release850());
  host->Call(request);
  EXPECT_EQ(
      Matching(host->Statements(), "AccInformation"),
      std::vector<std::string>{
          "select cvalue from AccInformation where cSysID ='ca' and cCaption='成本计算方法'"});
}

TEST_F(OneRelease, EarlierReleasesQueryWithoutPaginate) {
  for (const ReleaseProfile* profile : {&Release861(), &Release850()}) {
    auto host = Host(*profile);
    host->Call(ReleaseAddRequest(Line("1", GoodLine()) + Line("2", GoodLine())));
    EXPECT_EQ(
        ReplyRows(host->Call(ReleaseQueryRequest(Field("cDeptID", "=", "D1"), nullptr))).size(), 2u)
        << profile->release;
  }
  // 8.71 reads the attribute and fails without it.
  auto host = Host(Release871());
  EXPECT_EQ(Items(host->Call(ReleaseQueryRequest("", nullptr))).front().rfind("<?xml", 0), 0u);
  EXPECT_NE(host->Call(ReleaseQueryRequest("", nullptr)).find("code=\"94\""), std::string::npos);
}

TEST_F(OneRelease, Release861QueryReadsTheCostObjectTable) {
  auto host = Host(Release861());
  host->db.Run("insert into ca_mabsw(cDeptID,cppid,cMatID,iQua) values('D1','8','M1',1)");
  const auto rows = ReplyRows(host->Call(ReleaseQueryRequest("", nullptr)));
  EXPECT_EQ(Matching(host->Statements(), "select c.* from"), std::vector<std::string>{kQuery861});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("mocode"), "MO1");
  // The database's own number-to-text conversion: right-aligned in ten characters.
  EXPECT_EQ(rows[0].at("mosubsn"), "         1");
  EXPECT_EQ(rows[0].at("moroutesn"), "         2");
  EXPECT_EQ(rows[0].count("irdcode"), 0u);
  EXPECT_EQ(rows[0].count("ompflag"), 0u);
}

TEST_F(OneRelease, Release861IgnoresOmpflagInMode2) {
  const Fields order_line =
      With(With(With(With(GoodLine(), "mocode", "MO1"), "mosubsn", "1"), "moroutesn", "2"),
           "ompflag", "9");
  const std::string request = ReleaseAddRequest(Line("1", order_line));
  auto options = [](TestDb& db) {
    db.Run("insert into AccInformation values('ca','8601','','1')");
    db.Run("insert into AccInformation values('ca','8602','','1')");
  };
  auto host = Host(Release861());
  options(host->db);
  EXPECT_EQ(Items(host->Call(request)), std::vector<std::string>{"1 0 成功"});
  EXPECT_EQ(host->object().cost_object_mode(), 2);
  EXPECT_EQ(Matching(host->Statements(), "from caq_coreal"),
            std::vector<std::string>{"select iRealCOID from caq_coreal where cMOCode='MO1' and  "
                                     "iMOSubSN=1 and  iMORouteSN=2 "});
  EXPECT_EQ(host->db.Rows("select cppid from ca_mabsw"),
            (std::vector<std::vector<std::string>>{{"8"}}));

  // 8.71 compares and lists the flag.
  auto later = Host(Release871());
  options(later->db);
  EXPECT_EQ(Items(later->Call(request)),
            std::vector<std::string>{
                "1 101 部门：D1, 产品：P1, 生产订单号：MO1, 生产订单行号：1, 工序行号：2, "
                "委外标识：9，找不到对应的成本对象！"});
}

}  // namespace
}  // namespace quillor::testing
