// A PostgreSQL server whose database keeps standard_conforming_strings off, where
// a backslash before a quote would end a quoted text whose quotes were only
// doubled: every session of the component turns the setting on, so request values
// stay values, and no text with a second statement in it is ever run.
#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "runtime/value_text.h"
#include "testing/expect_failure.h"
#include "testing/pg_database.h"
#include "testing/reliability_support.h"

namespace quillor::testing {
namespace {

// Sets the database's default for new sessions for the length of a test.
class DatabaseSetting {
 public:
  DatabaseSetting(const std::string& connection, std::string setting, const std::string& value)
      : connection_(connection), setting_(std::move(setting)) {
    auto conn = OpenConnection(connection_);
    database_ = ValueText(conn->Open("select current_database()", CursorType::kStatic)->Value(0));
    conn->Execute("alter database " + database_ + " set " + setting_ + " = " + value);
  }
  ~DatabaseSetting() {
    try {
      OpenConnection(connection_)->Execute("alter database " + database_ + " reset " + setting_);
    } catch (...) {  // a server gone at the end leaves nothing to reset
    }
  }
  DatabaseSetting(const DatabaseSetting&) = delete;
  DatabaseSetting& operator=(const DatabaseSetting&) = delete;

 private:
  std::string connection_;
  std::string setting_;
  std::string database_;
};

class PgInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto text = PgConnectionText();
    if (!text) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
    setting_ = std::make_unique<DatabaseSetting>(*text, "standard_conforming_strings", "off");
    db_ = std::make_unique<SampleDb>();
    db_->Run(
        "insert into ca_mabsw(cDeptID, cppid, cMatID, cBatch, iPrice, iQua, iPeriod, iMatQua, "
        "irdcode) values ('D01', '1001', 'M01', 'B1', 1, 1, 3, 1, 0)");
    sentinel_ = db_->MaterialRows();
  }
  void TearDown() override {
    db_.reset();
    setting_.reset();
  }

  std::unique_ptr<DatabaseSetting> setting_;
  std::unique_ptr<SampleDb> db_;
  std::vector<std::string> sentinel_;
};

TEST_F(PgInjectionTest, EverySessionTurnsStandardStringsOn) {
  auto conn = OpenConnection(db_->ConnectionText());
  EXPECT_EQ(
      ValueText(conn->Open("show standard_conforming_strings", CursorType::kStatic)->Value(0)),
      "on");
  // A backslash is an ordinary character in a quoted text.
  EXPECT_EQ(ValueText(conn->Open("select 'a\\'", CursorType::kStatic)->Value(0)), "a\\");
}

TEST_F(PgInjectionTest, ABackslashBeforeAQuoteStaysInTheValue) {
  auto object = MaterialComponent::Create(Release871());
  const std::string payloads[] = {"\\' or 1=1 --", "\\'; delete from ca_mabsw; --",
                                  "\\\\' or '1'='1", "x\\'); delete from ca_mabsw; --"};
  for (const std::string& payload : payloads) {
    SCOPED_TRACE(payload);
    std::string attribute;
    for (char c : payload) attribute += c == '\'' ? std::string("&apos;") : std::string(1, c);
    // QUERY: no row has that department, so no row may come back.
    const std::string query =
        "<zqinterface roottag=\"material\" docid=\"d\" proc=\"QUERY\" paginate=\"0\"><material>"
        "<field name=\"cDeptID\" operation=\"=\" value=\"" +
        attribute + "\"/></material></zqinterface>";
    const std::string reply = Send(*object, query, db_->ConnectionText());
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(reply)) << reply;
    EXPECT_FALSE(doc.Root().Attribute("code")) << reply;
    EXPECT_TRUE(doc.Root().ChildElements().empty()) << reply;

    // ADD: the department is looked up as the text it is, and found nowhere.
    std::string line = Material("1", "M01", "5", "3");
    line.replace(line.find("D01"), 3, attribute);
    const ParsedReply added = Parse(Send(*object, AddRequest(line), db_->ConnectionText()));
    ASSERT_EQ(added.items.size(), 1u);
    EXPECT_EQ(added.items[0].code, 101) << added.items[0].message;
    EXPECT_EQ(db_->MaterialRows(), sentinel_);
  }
}

TEST_F(PgInjectionTest, ATextWithASecondStatementIsNeverRun) {
  auto conn = OpenConnection(db_->ConnectionText());
  for (const char* sql :
       {"select 1; delete from ca_mabsw", "select 1;delete from ca_mabsw --",
        "select 1 /* ; */; delete from ca_mabsw", "select ';'; delete from ca_mabsw",
        "select $$;$$; delete from ca_mabsw", "select E'\\';'; delete from ca_mabsw"}) {
    SCOPED_TRACE(sql);
    EXPECT_FAILURE(failure_numbers::kDbStatement,
                   "[Quillor] only one statement may be run at a time", conn->Execute(sql));
    EXPECT_EQ(db_->MaterialRows(), sentinel_);
  }
  for (const char* sql : {"select 1;", "select ';' -- ; delete", "select $q$;$q$; -- done"}) {
    SCOPED_TRACE(sql);
    EXPECT_NO_THROW(conn->Open(sql, CursorType::kStatic));
  }
}

}  // namespace
}  // namespace quillor::testing
