// Turning field elements into the query condition: quoting by column type, the
// column's own name, the logic words, the refused texts and the position counter.
#include "query/conditions.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/base/failure.h"
#include "testing/fake_database.h"
#include "testing/xml_text.h"

namespace quillor {
namespace {

using testing_fakes::Column;
using testing_fakes::FakeConnection;

struct Field {
  std::string name, operation, value;
  std::optional<std::string> logic;
};

class ConditionsTest : public ::testing::Test {
 protected:
  // The field elements of a request built from the given conditions.
  XmlNodeList Fields(const std::vector<Field>& fields) {
    std::string xml = "<r roottag=\"q\"><q>";
    for (const Field& f : fields) {
      xml += "<field name=\"" + testing::EscapeXml(f.name) + "\" operation=\"" +
             testing::EscapeXml(f.operation) + "\" value=\"" + testing::EscapeXml(f.value) + "\"";
      if (f.logic) xml += " logic=\"" + testing::EscapeXml(*f.logic) + "\"";
      xml += "/>";
    }
    xml += "</q></r>";
    EXPECT_TRUE(doc_.LoadXml(xml)) << xml;
    return doc_.Root().Select("q/field");
  }

  std::string Build(const std::vector<Field>& fields,
                    const ReleaseProfile& profile = Release871()) {
    QueryContext ctx{&conn_, profile, nullptr};
    return BuildWhere(ctx, Fields(fields), conn_);
  }

  // The refusal a condition list gives, as number and description.
  std::pair<int32_t, std::string> Refusal(const std::vector<Field>& fields) {
    try {
      Build(fields);
    } catch (const Failure& f) {
      return {f.number(), f.description()};
    }
    return {0, "no failure"};
  }

  XmlDocument doc_;
  FakeConnection conn_{{{"cDeptID", ado_type::kVarChar},
                        {"cMatID", ado_type::kVarWChar},
                        {"iPeriod", ado_type::kInteger},
                        {"iPrice", ado_type::kDouble},
                        {"cFixed", ado_type::kChar},
                        {"cMemo", ado_type::kLongVarWChar}}};
};

// The check statement of 8.71 and 8.61: the columns a condition may name, and no rows.
constexpr const char* kCheck871And861 =
    "select a.cDeptID as cDeptID,b.InvCode as cppid, cMatID, cBatch, iPrice, iQua, iPeriod "
    ",iMatQua,\r\n"
    "   b.Free1 as cFree1, b.Free2 as cFree2, \r\n"
    "   b.Free3 as cFree3, b.Free4 as cFree4, \r\n"
    "   b.Free5 as cFree5, b.Free6 as cFree6, \r\n"
    "   b.Free7 as cFree7, b.Free8 as cFree8, \r\n"
    "   b.Free9 as cFree9, b.Free10 as cFree10, \r\n"
    "   b.Version as cbomver, b.IdentCode as cbomvertd, \r\n"
    "   b.iMORouteSN as cmoroutesn, b.cMOCode as cmocode, \r\n"
    "   b.iMOSubSN as cmosubsn \r\n"
    " from ca_mabsw a join caq_coreal b on a.cppid=b.iRealCOID \r\n"
    " where 1>1";

TEST_F(ConditionsTest, NoElementsGiveNoConditionButTheCheckStatementRuns) {
  EXPECT_EQ(Build({}), "");
  ASSERT_EQ(conn_.opened.size(), 1u);
  EXPECT_EQ(conn_.opened[0].first, kCheck871And861);
  EXPECT_EQ(conn_.opened[0].second, CursorType::kForwardOnly);
}

TEST_F(ConditionsTest, CheckStatementOfEachRelease) {
  for (const ReleaseProfile* profile : {&Release871(), &Release861(), &Release850()}) {
    conn_.opened.clear();
    Build({{"cDeptID", "=", "01", {}}}, *profile);
    ASSERT_EQ(conn_.opened.size(), 1u);
    EXPECT_EQ(conn_.opened[0].first, profile == &Release850()
                                         ? std::string("select * from ca_mabsw where 1>1")
                                         : kCheck871And861)
        << profile->release;
  }
}

TEST_F(ConditionsTest, WorkedExampleAndTheColumnsOwnName) {
  EXPECT_EQ(Build({{"cDeptID", "=", "01", "and"}, {"iPeriod", ">=", "3", {}}}),
            "where cDeptID='01' and iPeriod>=3");
  EXPECT_EQ(Build({{"CDEPTID", "=", "01", "or"}}), "where cDeptID='01'");
  EXPECT_EQ(Build({{"iperiod", "<>", "12", {}}}), "where iPeriod<>12");
}

TEST_F(ConditionsTest, QuotingFollowsTheTypeCode) {
  const std::vector<int> quoted{7, 8, 130, 133, 134, 135, 200, 201, 202, 205};
  const std::vector<int> bare{2, 3, 4, 5, 6, 11, 20, 129, 131, 203};
  for (int type : quoted) {
    FakeConnection conn({{"c", type}});
    QueryContext ctx{&conn, Release871(), nullptr};
    EXPECT_EQ(BuildWhere(ctx, Fields({{"c", "=", "5", {}}}), conn), "where c='5'") << type;
  }
  for (int type : bare) {
    FakeConnection conn({{"c", type}});
    QueryContext ctx{&conn, Release871(), nullptr};
    EXPECT_EQ(BuildWhere(ctx, Fields({{"c", "=", "5", {}}}), conn), "where c=5") << type;
  }
}

TEST_F(ConditionsTest, LogicWordsOfAllButTheLastElement) {
  // The third element's logic is never read, so even a refused text does no harm.
  EXPECT_EQ(Build({{"cDeptID", "=", "01", "and"},
                   {"iPeriod", ">", "2", "OR"},
                   {"cMatID", "like", "A%", "; drop table ca_mabsw"}}),
            "where cDeptID='01' and iPeriod>2 OR cMatIDlike'A%'");
}

TEST_F(ConditionsTest, BlanksAroundWordsAreKeptAsGiven) {
  EXPECT_EQ(Build({{"cMatID", " like ", "A%", {}}}), "where cMatID like 'A%'");
  EXPECT_EQ(Build({{"cMatID", "like", "A%", {}}}), "where cMatIDlike'A%'");
  EXPECT_EQ(Build({{"cMatID", " NOT LIKE ", "A%", {}}}), "where cMatID NOT LIKE 'A%'");
  EXPECT_EQ(Build({{"iPeriod", " <= ", " 4 ", " and "}, {"iPrice", "!=", "-2.5e1", {}}}),
            "where iPeriod <=  4   and  iPrice!=-2.5e1");
}

TEST_F(ConditionsTest, QuotesInsideAQuotedValueAreDoubled) {
  EXPECT_EQ(Build({{"cDeptID", "=", "x' or '1'='1", {}}}), "where cDeptID='x'' or ''1''=''1'");
  // adChar is written bare, so its value must be a number like any bare value.
  EXPECT_EQ(Refusal({{"cFixed", "=", "'a'", {}}}),
            std::make_pair(5, std::string("Condition 1: value \"'a'\" is not a number")));
}

TEST_F(ConditionsTest, RefusedTextsNameTheirPosition) {
  struct Case {
    std::vector<Field> fields;
    std::string description;
  };
  const std::vector<Case> cases{
      {{{"cDeptID", "=", "1", "and"}, {"cDeptID", "; drop", "1", {}}},
       "Condition 2: operation \"; drop\" is not allowed"},
      {{{"cDeptID", "", "1", {}}}, "Condition 1: operation \"\" is not allowed"},
      {{{"cDeptID", "==", "1", {}}}, "Condition 1: operation \"==\" is not allowed"},
      {{{"cDeptID", "< >", "1", {}}}, "Condition 1: operation \"< >\" is not allowed"},
      {{{"cDeptID", "notlike", "1", {}}}, "Condition 1: operation \"notlike\" is not allowed"},
      {{{"cDeptID", "=", "1", "and 1=1 or"}, {"iPeriod", "=", "1", {}}},
       "Condition 1: logic \"and 1=1 or\" is not allowed"},
      {{{"cDeptID", "=", "1", {}}, {"iPeriod", "=", "1", {}}},
       "Condition 1: logic \"\" is not allowed"},
      {{{"iPeriod", "=", "3 or 1=1", {}}}, "Condition 1: value \"3 or 1=1\" is not a number"},
      {{{"iPeriod", "=", "", {}}}, "Condition 1: value \"\" is not a number"},
      {{{"cMemo", "=", "0x10", {}}}, "Condition 1: value \"0x10\" is not a number"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Refusal(c.fields), std::make_pair(failure_numbers::kInvalidArgument, c.description));
  }
}

TEST_F(ConditionsTest, AnUnknownColumnIsTheLookupFailure) {
  EXPECT_EQ(Refusal({{"cDeptID", "=", "1", "and"}, {"irdcode", "=", "1", {}}}).first, 3265);
  EXPECT_EQ(Refusal({{"", "=", "1", {}}}).first, 3265);
}

// The whole list is looked up before a refused word counts: a first element without
// logic and an unknown name in the second is the lookup failure 3265, and 32,767
// elements are the overflow 6, whatever refused texts they carry.
TEST_F(ConditionsTest, LookupAndOverflowFailuresComeBeforeRefusals) {
  EXPECT_EQ(Refusal({{"cDeptID", "=", "1", {}}, {"nosuch", "=", "1", {}}}).first, 3265);
  EXPECT_EQ(Refusal({{"iPeriod", "; drop", "x", "xor"}, {"irdcode", "=", "1", {}}}).first, 3265);
  const std::vector<Field> no_logic(32767, Field{"iPeriod", "=", "1", {}});
  EXPECT_EQ(Refusal(no_logic).first, failure_numbers::kOverflow);
  // With every name known, the first refused text is the failure.
  EXPECT_EQ(Refusal({{"iPeriod", "=", "1", {}}, {"cDeptID", "==", "1", {}}}),
            std::make_pair(failure_numbers::kInvalidArgument,
                           std::string("Condition 1: logic \"\" is not allowed")));
}

TEST_F(ConditionsTest, PositionCounterOverflowsAfterElement32767) {
  auto many = [](size_t n) {
    std::vector<Field> fields(n, Field{"iPeriod", "=", "1", "or"});
    fields.back().logic.reset();
    return fields;
  };
  const std::string condition = Build(many(32766));
  std::string expected = "where iPeriod=1";
  for (int i = 1; i < 32766; ++i) expected += " or iPeriod=1";
  EXPECT_EQ(condition, expected);
  EXPECT_EQ(Refusal(many(32767)).first, failure_numbers::kOverflow);
}

}  // namespace
}  // namespace quillor
