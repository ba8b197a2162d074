#include "platform/db/held_recordset.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"
#include "testing/fake_database.h"

namespace quillor {
namespace {

std::vector<Column> TwoColumns() {
  return {{"cDeptID", ado_type::kVarChar}, {"iQua", ado_type::kDouble}};
}

int32_t NumberOf(const std::function<void()>& f) { return testing::FailureOf(f).number(); }

// The backends' recordsets and the tests' fake answer column questions alike.
TEST(RecordsetColumns, OneColumnListForEveryRecordset) {
  HeldRecordset held(TwoColumns(), {{DbValue(std::string("D")), DbValue(2.0)}},
                     CursorType::kStatic);
  testing_fakes::FakeRecordset fake(TwoColumns());
  for (const Recordset* rs :
       {static_cast<const Recordset*>(&held), static_cast<const Recordset*>(&fake)}) {
    EXPECT_EQ(rs->FieldCount(), 2);
    EXPECT_EQ(rs->FieldIndex("CDEPTID"), 0);
    EXPECT_EQ(rs->FieldIndex("iqua"), 1);
    EXPECT_EQ(rs->FieldName(1), "iQua");
    EXPECT_EQ(rs->FieldType(0), ado_type::kVarChar);
    for (const auto& ask : std::vector<std::function<void()>>{
             [&] { rs->FieldIndex("iQu"); }, [&] { rs->FieldIndex(""); }, [&] { rs->FieldName(2); },
             [&] { rs->FieldType(-1); }}) {
      EXPECT_EQ(NumberOf(ask), failure_numbers::kItemNotFound);
    }
  }
}

TEST(HeldRecordset, CursorEndAndClose) {
  HeldRecordset rs(TwoColumns(), {{DbValue(std::string("D")), DbValue(2.0)}},
                   CursorType::kForwardOnly);
  EXPECT_EQ(rs.RecordCount(), -1);
  EXPECT_EQ(rs.RowsHeld(), 1);
  EXPECT_EQ(rs.Value("iqua").Double(), 2.0);
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(NumberOf([&] { rs.Value(0); }), failure_numbers::kNoCurrentRecord);
  EXPECT_EQ(NumberOf([&] { rs.MoveNext(); }), failure_numbers::kNoCurrentRecord);
  rs.Close();
  EXPECT_EQ(NumberOf([&] { rs.FieldCount(); }), failure_numbers::kObjectClosed);
  EXPECT_EQ(NumberOf([&] { rs.FieldIndex("iQua"); }), failure_numbers::kObjectClosed);
  EXPECT_EQ(NumberOf([&] { rs.Eof(); }), failure_numbers::kObjectClosed);
}

}  // namespace
}  // namespace quillor
