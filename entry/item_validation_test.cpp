#include "entry/item_validation.h"

#include "testing/entry_fixture.h"
#include "testing/expect_failure.h"

namespace quillor::testing {
namespace {

const Fields kValid{{"departmentno", "D01"}, {"productno", "P100"}, {"inventoryno", "M01"},
                    {"serial", "B1"},        {"price", "2"},        {"quantity", "3"},
                    {"period", "5"},         {"totalmoney", "6"}};

const char* const kDeptLookup =
    "select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D01'";
const char* const kCostObjectLookup =
    "select iRealCOID from caq_coreal where cDeptID='D01' and  InvCode='P100' ";
const char* const kInventoryLookup = "select distinct cInvCode from Inventory where cInvcode='M01'";
const char* const kBatchLookup = "select distinct cBatch from ca_pronb where cbatch='B1'";
const char* const kCostingMethod =
    "select cvalue from AccInformation where cSysID ='ca' and cID='06'";

class ItemValidationTest : public EntryTest {
 protected:
  void SetUp() override {
    AddDepartment("D01");
    AddDepartment("D02", /*base=*/false);
    AddInventory("M01");
    AddBatch("B1");
    AddCostObject("1001", "D01", "P100");
  }
  // Runs the check on fresh statements; the verdict's text lands in message.
  bool Check(const Fields& fields, std::string& message) {
    recorder_.Clear();
    MaterialElement material(fields);
    const ItemResult result = CheckItem(Context(), material.element(), cost_object_id_);
    EXPECT_EQ(result.code, result.ok() ? ItemCode::kSuccess : ItemCode::kRefused);
    message = result.message;
    return result.ok();
  }
  std::string Refusal(const Fields& fields) {
    std::string message;
    EXPECT_FALSE(Check(fields, message));
    return message;
  }
  std::string cost_object_id_ = "earlier";
};

TEST_F(ItemValidationTest, AValidElementRunsTheLookupsInOrder) {
  std::string message;
  EXPECT_TRUE(Check(kValid, message));
  EXPECT_EQ(message, "成功");
  EXPECT_EQ(cost_object_id_, "1001");
  EXPECT_EQ(Statements(), (std::vector<std::string>{kDeptLookup, kCostObjectLookup,
                                                    kInventoryLookup, kBatchLookup}));
}

TEST_F(ItemValidationTest, EachRefusalWithItsMessageAndTheStepsBeforeIt) {
  struct Case {
    const char* name;
    Fields fields;
    std::string message;
    size_t statements;  // lookups run before the refusal
  };
  const Case cases[] = {
      {"no department", With(kValid, "departmentno", nullptr), "部门编号不能为空！", 0},
      {"empty department", With(kValid, "departmentno", ""), "部门编号不能为空！", 0},
      {"not a base department", With(kValid, "departmentno", "D02"), "D02部门不是基本核算部门！",
       1},
      {"unknown department", With(kValid, "departmentno", "D9"), "D9部门不是基本核算部门！", 1},
      {"no cost object", With(kValid, "productno", "P9"),
       "部门：D01, 产品：P9，找不到对应的成本对象！", 2},
      {"no inventory", With(kValid, "inventoryno", nullptr), "存货编码不能为空！", 2},
      {"unknown inventory", With(kValid, "inventoryno", "I99"), "存货档案中无该存货编码I99", 3},
      {"unknown batch", With(kValid, "serial", "B9"), "生产批号表中无该批号！", 4},
      {"no quantity", With(kValid, "quantity", nullptr), "耗量不能为0！", 4},
      {"empty quantity", With(kValid, "quantity", ""), "耗量不能为0！", 4},
      {"quantity 0", With(kValid, "quantity", "0"), "耗量不能为0！", 4},
      {"quantity 0.0", With(kValid, "quantity", "0.0"), "耗量不能为0！", 4},
      {"quantity abc", With(kValid, "quantity", "abc"), "耗量不能为0！", 4},
      {"period 0.5", With(kValid, "period", "0.5"), "期间应在1到12间！", 4},
      {"period 13", With(kValid, "period", "13"), "期间应在1到12间！", 4},
      {"no period", With(kValid, "period", nullptr), "期间应在1到12间！", 4},
      {"total 6.02", With(kValid, "totalmoney", "6.02"),
       "\xE2\x80\x9C总金额\xE2\x80\x9D不等于 \xE2\x80\x9C单价*耗量\xE2\x80\x9D！", 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Refusal(c.fields), c.message) << c.name;
    EXPECT_EQ(Statements().size(), c.statements) << c.name;
  }
}

TEST_F(ItemValidationTest, PeriodAndTotalLimits) {
  struct Case {
    const char* period;
    const char* price;
    const char* quantity;
    const char* total;
    bool valid;
  };
  const Case cases[] = {
      {"12.5", "2", "3", "6", true},        {"1e1", "2", "3", "6", true},
      {"1", "2", "3", "6", true},           {"12", "2", "3", "6", true},
      {"5", "2", "3", "6.01", true},        {"5", "2", "3", "5.99", true},
      {"5", "2", "3", "5.98", false},       {"5", "1", "1", "1.01", false},
      {"5", "1", "1", "1", true},           {"13.5", "2", "3", "6", false},  // rounds to 14
      {" 5x", " 2", "3 apples", "6", true},
  };
  for (const Case& c : cases) {
    Fields fields =
        With(With(With(With(kValid, "period", c.period), "price", c.price), "quantity", c.quantity),
             "totalmoney", c.total);
    std::string message;
    EXPECT_EQ(Check(fields, message), c.valid) << c.period << " " << c.total << " " << message;
  }
}

TEST_F(ItemValidationTest, APeriodBeyondSixteenBitsIsAFailure) {
  std::string message;
  try {
    Check(With(kValid, "period", "70000"), message);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), failure_numbers::kOverflow);
  }
}

TEST_F(ItemValidationTest, CostingMethodDecidesWhetherABatchIsNeeded) {
  const Fields no_batch = With(kValid, "serial", nullptr);
  struct Case {
    std::vector<const char*> values;  // costing-method rows, in order
    bool with_product;
    bool valid;
  };
  const Case cases[] = {
      {{}, true, true},
      {{"'1'"}, true, false},
      {{"'1'"}, false, true},
      {{"'01'"}, true, true},
      {{"'1 '"}, true, true},
      {{"'0'", "'1'"}, true, false},  // the last row counts
      {{"'1'", "'0'"}, true, true},
  };
  for (const Case& c : cases) {
    db_.Run("delete from AccInformation");
    for (const char* v : c.values) SetCostingMethod(v);
    std::string message;
    const Fields fields = c.with_product ? no_batch : With(no_batch, "productno", nullptr);
    EXPECT_EQ(Check(fields, message), c.valid) << c.values.size() << " " << c.with_product;
    if (!c.valid) {
      EXPECT_EQ(message, "完全分批法时，专用材料对应的产品批号不能为空！");
    }
    EXPECT_EQ(Statements().back(), kCostingMethod);
  }
  // A given batch is checked whatever the method.
  db_.Run("delete from AccInformation");
  SetCostingMethod("'0'");
  EXPECT_EQ(Refusal(With(kValid, "serial", "B9")), "生产批号表中无该批号！");
}

TEST_F(ItemValidationTest, ANullCostingMethodIsAFailure) {
  SetCostingMethod("null");
  std::string message;
  EXPECT_THROW(Check(With(kValid, "serial", nullptr), message), Failure);
}

TEST_F(ItemValidationTest, CostObjectIdFollowsTheElement) {
  std::string message;
  EXPECT_TRUE(Check(kValid, message));
  EXPECT_EQ(cost_object_id_, "1001");
  EXPECT_TRUE(Check(With(kValid, "productno", nullptr), message));
  EXPECT_EQ(cost_object_id_, "");
  // A refusal before the product step leaves it as it was.
  cost_object_id_ = "earlier";
  Check(With(kValid, "departmentno", "D02"), message);
  EXPECT_EQ(cost_object_id_, "earlier");
  // A failed resolution is stored too (empty), and refuses.
  EXPECT_FALSE(Check(With(kValid, "productno", "P9"), message));
  EXPECT_EQ(cost_object_id_, "");
}

TEST_F(ItemValidationTest, QuotesInValuesStayInsideTheLiteral) {
  AddDepartment("D'1");
  AddInventory("M'1");
  AddBatch("B'1");
  Fields fields = With(
      With(With(With(kValid, "departmentno", "D'1"), "productno", nullptr), "inventoryno", "M'1"),
      "serial", "B'1");
  std::string message;
  EXPECT_TRUE(Check(fields, message)) << message;
  EXPECT_EQ(Statements(),
            (std::vector<std::string>{
                "select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='D''1'",
                "select distinct cInvCode from Inventory where cInvcode='M''1'",
                "select distinct cBatch from ca_pronb where cbatch='B''1'"}));
  // A value that would widen the lookup if spliced as it came finds nothing.
  EXPECT_EQ(Refusal(With(kValid, "departmentno", "x' or '1'='1")),
            "x' or '1'='1部门不是基本核算部门！");
  EXPECT_EQ(Refusal(With(kValid, "inventoryno", "x' or '1'='1")),
            "存货档案中无该存货编码x' or '1'='1");
}

TEST_F(ItemValidationTest, ADatabaseErrorPassesThrough) {
  db_.Run("drop table Inventory");
  std::string message;
  EXPECT_EQ(FailureOf([&] { Check(kValid, message); }).number(), failure_numbers::kDbStatement);
}

TEST_F(ItemValidationTest, Release861ChecksTheClosedPeriod) {
  UseRelease(Release861());
  db_.Run("insert into gl_mend values(4,1)");
  db_.Run("insert into gl_mend values(5,0)");
  db_.Run("insert into gl_mend values(6,null)");
  const Fields in_four = With(With(kValid, "period", "3.6"), "totalmoney", "6.02");
  // After the range check, before the total check.
  EXPECT_EQ(Refusal(in_four), "该期间已结帐！");
  EXPECT_EQ(Statements().back(), "select bFlag_CA from gl_mend where iperiod=4");
  EXPECT_EQ(Statements().size(), 5u);
  std::string message;
  for (const char* period : {"5", "6", "7"}) {
    EXPECT_TRUE(Check(With(kValid, "period", period), message)) << period;
    EXPECT_EQ(Statements().back(),
              std::string("select bFlag_CA from gl_mend where iperiod=") + period);
  }
  EXPECT_EQ(Refusal(With(kValid, "period", "13")), "期间应在1到12间！");
  EXPECT_EQ(Statements().size(), 4u);
}

// A flag that cannot be converted to a Boolean is a type mismatch (the batch's 999
// item), not an open period; truth words and numbers stored as text count as such.
TEST_F(ItemValidationTest, Release861ClosedFlagThatIsNoBooleanIsATypeMismatch) {
  UseRelease(Release861());
  // A host whose flag column holds texts.
  db_.Run("drop table gl_mend");
  db_.Run("create table gl_mend(iperiod int, bflag_CA varchar(10))");
  db_.Run("insert into gl_mend values(5,'abc')");
  std::string message;
  EXPECT_EQ(FailureOf([&] { Check(kValid, message); }).number(), failure_numbers::kTypeMismatch);
  db_.Run("update gl_mend set bflag_CA='True' where iperiod=5");
  EXPECT_EQ(Refusal(kValid), "该期间已结帐！");
  db_.Run("update gl_mend set bflag_CA=' 0 ' where iperiod=5");
  EXPECT_TRUE(Check(kValid, message));
}

TEST_F(ItemValidationTest, Release850ChecksTheProductStructure) {
  UseRelease(Release850());
  db_.Run("insert into ProductStructureEx values('P100')");
  // Refused before the inventory code is looked at.
  EXPECT_EQ(Refusal(With(With(kValid, "productno", "P9"), "inventoryno", nullptr)),
            "产品结构主表中无该产品编码P9");
  EXPECT_EQ(Statements().back(),
            "select distinct cPSPCode from ProductStructureEx where cPSPCode='P9'");
  std::string message;
  EXPECT_TRUE(Check(kValid, message));
  EXPECT_EQ(message, "成功");
  EXPECT_EQ(cost_object_id_, "");  // nothing is resolved
  EXPECT_EQ(
      Statements(),
      (std::vector<std::string>{
          kDeptLookup, "select distinct cPSPCode from ProductStructureEx where cPSPCode='P100'",
          kInventoryLookup, kBatchLookup, "select bFlag_CA from gl_mend where iperiod=5"}));
  // The costing method comes from its caption, in column cvalue.
  SetCostingMethod("'1'");
  EXPECT_EQ(Refusal(With(kValid, "serial", nullptr)),
            "完全分批法时，专用材料对应的产品批号不能为空！");
  EXPECT_EQ(Statements()[3],
            "select cvalue from AccInformation where cSysID ='ca' and cCaption='成本计算方法'");
}

}  // namespace
}  // namespace quillor::testing
