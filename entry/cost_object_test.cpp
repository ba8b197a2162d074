#include "entry/cost_object.h"

#include "testing/entry_fixture.h"

namespace quillor::testing {
namespace {

constexpr const char* kSelect = "select iRealCOID from caq_coreal where ";
constexpr const char* kNotFound = "，找不到对应的成本对象！";

class CostObjectTest : public EntryTest {
 protected:
  std::string Find(const Fields& fields, std::string& message) {
    MaterialElement material(fields);
    CostObjectResult found = FindCostObject(Context(), material.element());
    if (!found.verdict.ok()) {
      // A refusal names no cost object, and is the only way to a text.
      EXPECT_EQ(found.verdict.code, ItemCode::kRefused);
      EXPECT_EQ(found.id, "");
      message = found.verdict.message;
    } else {
      EXPECT_EQ(found.verdict.message, "");
    }
    return found.id;
  }
  std::string Find(const Fields& fields) {
    std::string message;
    std::string id = Find(fields, message);
    EXPECT_EQ(message, "");
    return id;
  }
};

const Fields kProductOnly{{"departmentno", "D01"}, {"productno", "P100"}};
const Fields kOrder{{"departmentno", "D01"}, {"productno", "P100"}, {"mocode", "MO7"},
                    {"mosubsn", "2"},        {"moroutesn", "3"},    {"ompflag", "1"}};

TEST_F(CostObjectTest, ByProductComparesDepartmentThenProduct) {
  AddCostObject("1001", "D01", "P100");
  std::string message = "kept";
  EXPECT_EQ(Find(kProductOnly, message), "1001");
  EXPECT_EQ(message, "kept");
  ASSERT_EQ(Statements().size(), 1u);
  EXPECT_EQ(Statements()[0], std::string(kSelect) + "cDeptID='D01' and  InvCode='P100' ");
  // The labels are looked up for every present value, also when a row is found.
  EXPECT_EQ(messages_->lookups, 2);
}

TEST_F(CostObjectTest, ByProductComparesAllFourteenValuesInOrder) {
  Fields fields{{"bomvertd", "T1"}, {"departmentno", "D01"}, {"productno", "P100"}};
  for (int i = 1; i <= 10; ++i)
    fields.emplace_back("free" + std::to_string(i), "F" + std::to_string(i));
  fields.emplace_back("bomver", "V2");
  fields.emplace_back("mocode", "MO7");  // not a product value: neither read nor compared
  std::string message;
  EXPECT_EQ(Find(fields, message), "");
  std::string expected = std::string(kSelect) + "cDeptID='D01' and  InvCode='P100' and ";
  for (int i = 1; i <= 10; ++i) {
    expected += " free" + std::to_string(i) + "='F" + std::to_string(i) + "' and ";
  }
  expected += " version='V2' and  IdentCode='T1' ";
  ASSERT_EQ(Statements().size(), 1u);
  EXPECT_EQ(Statements()[0], expected);
  std::string listed = "部门：D01, 产品：P100, ";
  for (int i = 1; i <= 10; ++i) {
    listed += "自由项" + std::to_string(i) + "：F" + std::to_string(i) + ", ";
  }
  listed += "BOM版本：V2, BOM版本标识：T1";
  EXPECT_EQ(message, listed + kNotFound);
}

TEST_F(CostObjectTest, NotFoundListsThePresentValues) {
  std::string message = "old";
  EXPECT_EQ(Find(kProductOnly, message), "");
  EXPECT_EQ(message, std::string("部门：D01, 产品：P100") + kNotFound);
}

TEST_F(CostObjectTest, BlanksAreAPresentValue) {
  AddCostObject("7", "D01", "P100");
  std::string message;
  EXPECT_EQ(Find(With(kProductOnly, "free3", "  "), message), "");
  EXPECT_EQ(Statements()[0],
            std::string(kSelect) + "cDeptID='D01' and  InvCode='P100' and  free3='  ' ");
  EXPECT_EQ(message, std::string("部门：D01, 产品：P100, 自由项3：  ") + kNotFound);
}

TEST_F(CostObjectTest, ProductionOrderModes) {
  struct Case {
    const ReleaseProfile* profile;
    int16_t mode;
    const char* condition;
    const char* listed;
  };
  const char* by_order = "cMOCode='MO7' and  iMOSubSN=2 and  iMORouteSN=3 ";
  const char* listed_order = "部门：D01, 产品：P100, 生产订单号：MO7, 生产订单行号：2, 工序行号：3";
  const std::string listed_flag = std::string(listed_order) + ", 委外标识：1";
  const std::string with_flag = std::string(by_order) + "and  ompflag=1 ";
  const Case cases[] = {
      {&Release871(), 1, by_order, listed_order},
      {&Release871(), 3, by_order, listed_order},  // any mode but 0 and 2 acts as 1
      {&Release871(), 2, with_flag.c_str(), listed_flag.c_str()},
      {&Release861(), 2, by_order, listed_order},  // no ompflag row in this release
  };
  for (const Case& c : cases) {
    recorder_.Clear();
    UseRelease(*c.profile);
    UseMode(c.mode);
    std::string message;
    EXPECT_EQ(Find(kOrder, message), "");
    ASSERT_EQ(Statements().size(), 1u);
    EXPECT_EQ(Statements()[0], std::string(kSelect) + c.condition) << c.mode;
    EXPECT_EQ(message, std::string(c.listed) + kNotFound) << c.mode;
  }
}

TEST_F(CostObjectTest, ProductionOrderFindsTheOrderRow) {
  db_.Run(
      "insert into caq_coreal(iRealCOID,cDeptID,InvCode,cMOCode,iMOSubSN,iMORouteSN,ompflag) "
      "values(55,'X','Y','MO7',2,3,1)");
  UseMode(2);
  EXPECT_EQ(Find(kOrder), "55");
  UseMode(1);
  EXPECT_EQ(Find(With(kOrder, "ompflag", "0")), "55");
}

TEST_F(CostObjectTest, NoConditionValueRunsNothing) {
  UseMode(1);
  std::string message = "kept";
  EXPECT_EQ(Find(kProductOnly, message), "");
  EXPECT_EQ(message, "kept");
  EXPECT_TRUE(Statements().empty());
}

TEST_F(CostObjectTest, FirstDeliveredRowWins) {
  AddCostObject("21", "D01", "P100");
  AddCostObject("22", "D01", "P100");
  EXPECT_EQ(Find(kProductOnly), "21");
}

TEST_F(CostObjectTest, QuotesStayInsideTheirValue) {
  AddCostObject("9", "D'1", "P' or '1'='1");
  AddCostObject("10", "D01", "P100");
  EXPECT_EQ(Find({{"departmentno", "D'1"}, {"productno", "P' or '1'='1"}}), "9");
  EXPECT_EQ(Statements()[0],
            std::string(kSelect) + "cDeptID='D''1' and  InvCode='P'' or ''1''=''1' ");
  std::string message;
  EXPECT_EQ(Find({{"departmentno", "D01"}, {"productno", "x' or '1'='1"}}, message), "");
  EXPECT_NE(message, "");
}

TEST_F(CostObjectTest, ANumericValueThatIsNoNumberFails) {
  db_.Run(
      "insert into caq_coreal(iRealCOID,cMOCode,iMOSubSN,iMORouteSN,ompflag) "
      "values(1,'MO7',2,3,1)");
  UseMode(2);
  for (const char* field : {"mosubsn", "moroutesn", "ompflag"}) {
    for (const char* value : {"2 or 1=1", "  ", "2;", "x"}) {
      recorder_.Clear();
      std::string message = "kept";
      try {
        Find(With(kOrder, field, value), message);
        ADD_FAILURE() << field << "=" << value;
      } catch (const Failure& failure) {
        EXPECT_EQ(failure.number(), failure_numbers::kTypeMismatch) << field << "=" << value;
      }
      EXPECT_EQ(message, "kept");
      EXPECT_TRUE(Statements().empty()) << field << "=" << value;
    }
  }
  // Blanks around a number are fine; outside the condition the value is not checked.
  UseMode(1);
  EXPECT_EQ(Find(With(With(kOrder, "mosubsn", " 2 "), "ompflag", "x")), "1");
}

TEST_F(CostObjectTest, ANullIdIsAFailure) {
  AddCostObject("null", "D01", "P100");
  std::string message = "kept";
  try {
    Find(kProductOnly, message);
    ADD_FAILURE();
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), failure_numbers::kInvalidUseOfNull);
  }
  EXPECT_EQ(message, "kept");
}

}  // namespace
}  // namespace quillor::testing
