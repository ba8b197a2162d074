#include <sqlext.h>

#include <gtest/gtest.h>

#include "platform/db/database.h"
#include "platform/db/odbc/odbc_error.h"
#include "platform/db/odbc/odbc_text.h"
#include "platform/db/odbc/odbc_types.h"

namespace quillor::odbc {
namespace {

TEST(OdbcFailureNumber, FollowsTheClassOfTheState) {
  const struct {
    const char* state;
    int32_t number;
  } cases[] = {
      {"42000", failure_numbers::kDbStatement},  // syntax error or access violation
      {"42S02", failure_numbers::kDbStatement},  // unknown table
      {"42S22", failure_numbers::kDbStatement},  // unknown column
      {"42P01", failure_numbers::kDbStatement},  // PostgreSQL's unknown relation
      {"37000", failure_numbers::kDbStatement},
      {"S0002", failure_numbers::kDbStatement},
      {"S0022", failure_numbers::kDbStatement},
      {"23000", failure_numbers::kDbConstraint},
      {"23505", failure_numbers::kDbConstraint},  // unique violation
      {"08001", failure_numbers::kFail},          // cannot connect
      {"08S01", failure_numbers::kFail},          // link failure
      {"28000", failure_numbers::kFail},          // login refused
      {"HY000", failure_numbers::kFail},
      {"IM002", failure_numbers::kFail},  // no such data source
      {"S0001", failure_numbers::kFail},
      {"22012", failure_numbers::kFail},  // division by zero
      {"", failure_numbers::kFail},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FailureNumberForState(c.state), c.number) << c.state;
  }
}

TEST(OdbcFailureFromDiagnostics, FirstStateNumbersEveryMessageDescribes) {
  const std::vector<DiagRecord> records = {
      {"23505", 7, "ERROR: duplicate key value violates unique constraint \"k\"\n"},
      {"01000", 0, ""},
      {"HY000", 0, "Error while executing the query \r\n"},
  };
  const Failure f = FailureFromDiagnostics(records, "running a statement");
  EXPECT_EQ(f.number(), failure_numbers::kDbConstraint);
  EXPECT_EQ(f.description(),
            "ERROR: duplicate key value violates unique constraint \"k\"\n"
            "Error while executing the query");
}

TEST(OdbcFailureFromDiagnostics, NoRecordIsStillAFailureThatSaysWhat) {
  const Failure f = FailureFromDiagnostics({}, "connecting");
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  EXPECT_EQ(f.description(), "[unixODBC] connecting failed without a diagnostic");
}

TEST(OdbcTypes, AdoCodesOfTheSqlTypes) {
  const struct {
    SQLSMALLINT sql;
    int ado;
    FetchKind kind;
  } cases[] = {
      {SQL_VARCHAR, 200, FetchKind::kText},
      {SQL_WVARCHAR, 202, FetchKind::kText},
      {SQL_CHAR, 129, FetchKind::kText},
      {SQL_WCHAR, 130, FetchKind::kText},
      {SQL_LONGVARCHAR, 201, FetchKind::kText},
      {SQL_WLONGVARCHAR, 203, FetchKind::kText},
      {SQL_INTEGER, 3, FetchKind::kInteger},
      {SQL_SMALLINT, 2, FetchKind::kInteger},
      {SQL_BIGINT, 20, FetchKind::kInteger},
      {SQL_BIT, 11, FetchKind::kInteger},
      {SQL_TINYINT, 17, FetchKind::kInteger},
      {SQL_DOUBLE, 5, FetchKind::kDouble},
      {SQL_FLOAT, 5, FetchKind::kDouble},
      {SQL_REAL, 4, FetchKind::kDouble},
      {SQL_DECIMAL, 131, FetchKind::kDouble},
      {SQL_NUMERIC, 131, FetchKind::kDouble},
      {SQL_TYPE_TIMESTAMP, 135, FetchKind::kText},
      {SQL_TYPE_DATE, 133, FetchKind::kText},
      {SQL_TYPE_TIME, 134, FetchKind::kText},
      {SQL_TIMESTAMP, 135, FetchKind::kText},  // the ODBC 2 codes of the same types
      {SQL_DATE, 133, FetchKind::kText},
      {SQL_TIME, 134, FetchKind::kText},
      {SQL_BINARY, 128, FetchKind::kBinary},
      {SQL_LONGVARBINARY, 205, FetchKind::kBinary},
      {SQL_VARBINARY, 204, FetchKind::kBinary},
      {SQL_GUID, 72, FetchKind::kText},
      {-150, 200, FetchKind::kText},  // a driver's own type (SQL Server's sql_variant)
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AdoTypeFromSqlType(c.sql), c.ado) << c.sql;
    EXPECT_EQ(FetchKindForSqlType(c.sql), c.kind) << c.sql;
  }
}

TEST(OdbcText, RoundTripsEveryPlane) {
  const std::string text = "D01 '成功' é \xF0\x9F\x98\x80 end";
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, u"D01 '成功' é \U0001F600 end");
  EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(OdbcText, MalformedInputBecomesReplacementCharacters) {
  // A stray continuation byte, a truncated sequence, an overlong slash and an encoded surrogate.
  EXPECT_EQ(Utf8ToUtf16("a\x80"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("a\xE6\x88"), u"a\uFFFD\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF'"), u"\uFFFD\uFFFD'");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(u"x") + char16_t(0xD800) + u"y"), "x\xEF\xBF\xBDy");
}

}  // namespace
}  // namespace quillor::odbc
