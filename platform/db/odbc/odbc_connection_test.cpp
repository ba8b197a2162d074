#include "platform/db/odbc/odbc_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "testing/expect_failure.h"
#include "testing/free_port.h"
#include "testing/pg_schema_test.h"

namespace quillor {
namespace {

using ::testing::HasSubstr;
using testing::PgConnectionText;
using ::testing::StartsWith;

// Whether the driver manager knows the PostgreSQL driver (odbc-postgresql).
bool HasPostgresDriver() {
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return false;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  bool found = false;
  SQLCHAR name[256];
  SQLCHAR attributes[1024];
  SQLSMALLINT name_length = 0, attributes_length = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &name_length, attributes,
                                  sizeof attributes, &attributes_length))) {
    if (std::string(reinterpret_cast<char*>(name)) == "PostgreSQL Unicode") found = true;
    direction = SQL_FETCH_NEXT;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return found;
}

using testing::FailureOf;

TEST(OdbcConnect, UnknownDataSourceCarriesTheDriverManagersText) {
  const Failure f = FailureOf([] { OpenOdbcConnection("DSN=quillor_no_such_source"); });
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  EXPECT_EQ(f.description(),
            "[unixODBC][Driver Manager]Data source name not found and no default driver specified");
}

TEST(OdbcConnect, UnreachableServerCarriesTheDriversText) {
  if (!HasPostgresDriver()) GTEST_SKIP() << "the PostgreSQL ODBC driver is not installed";
  const std::string port = std::to_string(testing::FreeLoopbackPort());
  const Failure f = FailureOf([&] {
    OpenConnection("Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=" + port +
                   ";Database=quillor;UID=quillor;PWD=x");
  });
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  EXPECT_THAT(f.description(), HasSubstr("\"127.0.0.1\", port " + port + " failed"));
  EXPECT_THAT(f.description(), HasSubstr("Connection refused"));
}

class OdbcServer : public testing::PgSchemaTest {
 protected:
  int64_t Count(const std::string& table) {
    auto rs = conn_->Open("select count(*) as n from " + table, CursorType::kForwardOnly);
    return rs->Value("n").Integer();
  }
};

TEST_F(OdbcServer, RefusedLoginCarriesTheDriversText) {
  const Failure f = FailureOf([] { OpenConnection(*PgConnectionText() + "wrong"); });
  EXPECT_EQ(f.number(), failure_numbers::kFail);
  EXPECT_THAT(f.description(), HasSubstr("password authentication failed for user \"quillor\""));
}

TEST_F(OdbcServer, PostgresGetsItsAdaptationsAndNothingElse) {
  EXPECT_EQ(conn_->dialect(), Dialect::kPostgres);
  EXPECT_EQ(conn_->SentText("insert ca_mabsw(cdeptid)   values('insert t(')"),
            "insert into ca_mabsw(cdeptid)   values('insert t(')");
  EXPECT_EQ(conn_->SentText("select isnull(b.InvCode,'') as cppid from t\r\n where 1>1"),
            "select coalesce(b.InvCode,'') as cppid from t\r\n where 1>1");
  // The adapted text is what runs: the host's insert without "into" works.
  conn_->Execute("create table t(a varchar(10))");
  EXPECT_EQ(conn_->Execute("insert t(a) values(isnull(null,'x'))"), 1);
  EXPECT_EQ(conn_->Open("select a from t", CursorType::kStatic)->Value("a").Text(), "x");
}

TEST_F(OdbcServer, ValuesNullsAndTypeCodes) {
  conn_->Execute(
      "create table v(i int, s smallint, b bigint, f float, r real, d numeric(12,3), "
      "c varchar(20), t timestamp, dt date, bin bytea, w text)");
  conn_->Execute(
      "insert into v values(-7, 3, 9000000000, 0.1, 1.5, 2.125, 'D''01 成功', "
      "'2024-01-02 03:04:05', '2024-01-02', 'ab', repeat('長', 5000))");
  conn_->Execute("insert into v(i) values(null)");
  auto rs = conn_->Open("select * from v order by i nulls last", CursorType::kKeyset);
  ASSERT_EQ(rs->RecordCount(), 2);
  const int types[] = {3, 2, 20, 5, 4, 131, 202, 135, 133, 205, 203};
  ASSERT_EQ(rs->FieldCount(), 11);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(rs->FieldType(i), types[i]) << rs->FieldName(i);

  EXPECT_EQ(rs->Value("I").Integer(), -7);
  EXPECT_EQ(rs->Value("s").Integer(), 3);
  EXPECT_EQ(rs->Value("b").Integer(), 9000000000);
  EXPECT_EQ(rs->Value("f").Double(), 0.1);
  EXPECT_EQ(rs->Value("r").Double(), 1.5);
  EXPECT_EQ(rs->Value("d").Double(), 2.125);
  EXPECT_EQ(rs->Value("c").Text(), "D'01 成功");
  EXPECT_EQ(rs->Value("t").Text(), "2024-01-02 03:04:05");
  EXPECT_EQ(rs->Value("dt").Text(), "2024-01-02");
  EXPECT_EQ(rs->Value("bin").Text(), "ab");
  std::string long_text;
  for (int i = 0; i < 5000; ++i) long_text += "長";  // longer than one piece read
  EXPECT_EQ(rs->Value("w").Text(), long_text);

  rs->MoveNext();
  for (int i = 0; i < 11; ++i) EXPECT_TRUE(rs->Value(i).IsNull()) << rs->FieldName(i);
  rs->MoveNext();
  ASSERT_TRUE(rs->Eof());
  const Failure at_end = FailureOf([&] { rs->Value(0); });
  EXPECT_EQ(at_end.number(), 3021);
  const Failure unknown = FailureOf([&] { rs->FieldIndex("nosuch"); });
  EXPECT_EQ(unknown.number(), failure_numbers::kItemNotFound);
  EXPECT_EQ(unknown.description(),
            "Item cannot be found in the collection corresponding to the requested name or "
            "ordinal.");
}

TEST_F(OdbcServer, RowCountsByCursorAndRowsChanged) {
  conn_->Execute("create table n(k int)");
  EXPECT_EQ(conn_->Execute("insert into n values(1),(2),(3)"), 3);
  EXPECT_EQ(conn_->Open("select * from n", CursorType::kForwardOnly)->RecordCount(), -1);
  EXPECT_EQ(conn_->Open("select * from n", CursorType::kStatic)->RecordCount(), 3);
  EXPECT_EQ(conn_->Open("select * from n where k > 5", CursorType::kKeyset)->RecordCount(), 0);
  EXPECT_TRUE(conn_->Open("select * from n where k > 5", CursorType::kKeyset)->Eof());
  EXPECT_EQ(conn_->Execute("update n set k = k + 1 where k >= 2"), 2);
  EXPECT_EQ(conn_->Execute("delete from n where k = 99"), 0);
}

TEST_F(OdbcServer, RejectedStatementsAndViolatedConstraintsAreNumbered) {
  conn_->Execute("create table u(k int primary key)");
  conn_->Execute("insert into u values(1)");
  const Failure duplicate = FailureOf([&] { conn_->Execute("insert into u values(1)"); });
  EXPECT_EQ(duplicate.number(), failure_numbers::kDbConstraint);
  EXPECT_THAT(duplicate.description(),
              StartsWith("ERROR: duplicate key value violates unique constraint \"u_pkey\""));

  const Failure table =
      FailureOf([&] { conn_->Open("select * from nosuch", CursorType::kStatic); });
  EXPECT_EQ(table.number(), failure_numbers::kDbStatement);
  EXPECT_THAT(table.description(), StartsWith("ERROR: relation \"nosuch\" does not exist"));
  const Failure column = FailureOf([&] { conn_->Execute("update u set nosuch = 1"); });
  EXPECT_EQ(column.number(), failure_numbers::kDbStatement);
  const Failure syntax = FailureOf([&] { conn_->Execute("selec 1"); });
  EXPECT_EQ(syntax.number(), failure_numbers::kDbStatement);
  // The connection goes on after a rejected statement.
  EXPECT_EQ(Count("u"), 1);
}

TEST_F(OdbcServer, UnitsOfWorkStandOrFallTogether) {
  conn_->Execute("create table w(k int)");
  auto other = db_->Open();
  const auto count_elsewhere = [&] {
    return other->Open("select count(*) as n from w", CursorType::kStatic)->Value("n").Integer();
  };
  {
    UnitOfWork unit(*conn_);
    conn_->Execute("insert into w values(1)");
    EXPECT_EQ(count_elsewhere(), 0);  // not visible before the commit
  }                                   // rolled back
  EXPECT_EQ(Count("w"), 0);

  conn_->Begin();
  conn_->Begin();
  conn_->Execute("insert into w values(2)");
  conn_->Commit();  // inner: nothing reaches the database yet
  EXPECT_EQ(count_elsewhere(), 0);
  conn_->Commit();
  EXPECT_EQ(count_elsewhere(), 1);

  // After a unit, statements stand on their own again.
  conn_->Execute("insert into w values(3)");
  EXPECT_EQ(count_elsewhere(), 2);

  // An inner rollback spoils the outer unit: its commit fails and keeps nothing.
  conn_->Begin();
  conn_->Execute("insert into w values(4)");
  conn_->Begin();
  conn_->Rollback();
  const Failure spoiled = FailureOf([&] { conn_->Commit(); });
  EXPECT_EQ(spoiled.number(), failure_numbers::kFail);
  EXPECT_EQ(count_elsewhere(), 2);

  const Failure none = FailureOf([&] { conn_->Commit(); });
  EXPECT_EQ(none.number(), failure_numbers::kFail);
}

TEST_F(OdbcServer, ClosingTheConnectionRollsBackAnOpenUnit) {
  conn_->Execute("create table x(k int)");
  conn_->Begin();
  conn_->Execute("insert into x values(1)");
  conn_.reset();
  conn_ = db_->Open();
  EXPECT_EQ(Count("x"), 0);
}

}  // namespace
}  // namespace quillor
