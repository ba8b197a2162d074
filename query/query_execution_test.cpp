// Running a QUERY: the statements of each release, the reply, pages handed to a
// registered caller, and the failures.
#include "query/query_execution.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "query/conditions.h"
#include "schema/host_schema_postgres.h"
#include "testing/fake_database.h"
#include "testing/pg_database.h"
#include "testing/recording_caller.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;
using testing_fakes::FakeConnection;
using testing_fakes::RecordingCaller;

// The tables a query reads, in a temporary SQLite file, or in a schema of their own
// on the PostgreSQL server that QUILLOR_TEST_PG_CONNECTION names.
class QueryDatabase {
 public:
  QueryDatabase() {
    std::string tmpl = (fs::temp_directory_path() / "quillor-query-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    const std::string file = (dir_ / "host.db").string();
    if (const auto pg = testing::PgConnectionText()) {
      pg_ = std::make_unique<testing::PgDatabase>(*pg);
      conn_ = pg_->Open();
    } else {
      CreateSqliteDatabaseFile(file);
      conn_ = OpenConnection("Provider=SQLite;Data Source=" + file);
    }
    const std::string free =
        "Free1 varchar(20), Free2 varchar(20), Free3 varchar(20), Free4 varchar(20), "
        "Free5 varchar(20), Free6 varchar(20), Free7 varchar(20), Free8 varchar(20), "
        "Free9 varchar(20), Free10 varchar(20), Version varchar(20), IdentCode varchar(20), "
        "iMORouteSN int, cMOCode varchar(30), iMOSubSN int, ompflag int";
    conn_->Execute(
        "create table ca_mabsw (cDeptID varchar(12), cppid varchar(40), cMatID varchar(20), "
        "cBatch varchar(30), iPrice float, iQua float, iPeriod int, iMatQua float, irdcode int)");
    conn_->Execute("create table caq_coreal (iRealCOID varchar(40), InvCode varchar(20), " + free +
                   ")");
    conn_->Execute(
        "create table ca_batchmap (iRealCOID varchar(40), cbatch varchar(30), "
        "InvCode varchar(20), " +
        free + ")");
  }
  ~QueryDatabase() {
    conn_.reset();
    fs::remove_all(dir_);
  }
  Connection& conn() { return *conn_; }

  // n material rows of department 01, periods 1, 2, ... and inventory codes M1, M2, ...
  void AddRows(int n) {
    for (int i = 1; i <= n; ++i) {
      conn_->Execute("insert into ca_mabsw values ('01', 'CO1', 'M" + std::to_string(i) +
                     "', 'B1', 2.5, 2, " + std::to_string(i) + ", 5, null)");
    }
  }

 private:
  fs::path dir_;
  std::unique_ptr<testing::PgDatabase> pg_;
  std::unique_ptr<Connection> conn_;
};

std::vector<std::string> Ids(const std::string& xml) {
  XmlDocument doc;
  EXPECT_TRUE(doc.LoadXml(xml)) << xml;
  std::vector<std::string> ids;
  for (const XmlElement& row : doc.Root().ChildElements()) ids.push_back(*row.Attribute("id"));
  return ids;
}

std::vector<std::string> Range(int from, int to) {
  std::vector<std::string> out;
  for (int i = from; i <= to; ++i) out.push_back(std::to_string(i));
  return out;
}

class QueryProcTest : public ::testing::Test {
 protected:
  // Runs a QUERY for the request text; the reply comes back in sRetXml.
  std::string Run(const std::string& request, const ReleaseProfile& profile, Connection* conn,
                  com::IDispatch* caller) {
    XmlDocument doc;
    EXPECT_TRUE(doc.LoadXml(request)) << request;
    const XmlNodeList fields =
        doc.Root().Select(doc.Root().Attribute("roottag").value_or("") + "/field");
    QueryContext ctx{conn, profile, caller};
    std::string reply = doc.Serialize();
    EXPECT_FALSE(QueryProc(ctx, fields, reply));
    return reply;
  }
  std::string Run(const std::string& request, com::IDispatch* caller = nullptr) {
    return Run(request, Release871(), &db_.conn(), caller);
  }

  // The failure a QUERY gives; sRetXml must be left as it came.
  Failure FailureOf(const std::string& request, const ReleaseProfile& profile, Connection* conn,
                    com::IDispatch* caller = nullptr) {
    XmlDocument doc;
    doc.LoadXml(request);
    XmlNodeList fields;
    if (doc.Root()) fields = doc.Root().Select("q/field");
    QueryContext ctx{conn, profile, caller};
    std::string reply = request;
    try {
      QueryProc(ctx, fields, reply);
    } catch (const Failure& f) {
      EXPECT_EQ(reply, request);
      return f;
    }
    ADD_FAILURE() << "no failure for " << request;
    return Failure(0, "");
  }
  Failure FailureOf(const std::string& request, com::IDispatch* caller = nullptr) {
    return FailureOf(request, Release871(), &db_.conn(), caller);
  }

  static std::string Paged(const std::string& paginate) {
    return "<r roottag=\"q\" docid=\"7\" proc=\"QUERY\" paginate=\"" + paginate +
           "\"><q><field name=\"cDeptID\" operation=\"=\" value=\"01\"/></q></r>";
  }

  QueryDatabase db_;
};

TEST_F(QueryProcTest, WorkedExampleGivesTheMatchingRowWithEveryField) {
  db_.conn().Execute("insert into ca_mabsw values ('01', 'CO1', 'M1', 'B1', 2.5, 2, 3, 5, 7)");
  db_.conn().Execute("insert into ca_mabsw values ('01', 'CO1', 'M2', 'B1', 1, 1, 2, 1, null)");
  db_.conn().Execute("insert into ca_mabsw values ('02', 'CO1', 'M3', 'B1', 1, 1, 5, 1, null)");
  db_.conn().Execute(
      "insert into ca_batchmap values ('CO1', 'B1', 'P1', 'f1', null, null, null, null, null, "
      "null, null, null, 'f10', 'V1', null, 4, 'MO1', null, 1)");
  const std::string reply =
      Run("<r roottag=\"q\" docid=\"7\" proc=\"QUERY\" paginate=\"0\"><q>"
          "<field name=\"cDeptID\" operation=\"=\" value=\"01\" logic=\"and\"/>"
          "<field name=\"iPeriod\" operation=\"&gt;=\" value=\"3\"/></q></r>");
  EXPECT_EQ(reply,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<r roottag=\"q\" docid=\"7\" proc=\"QUERY\" paginate=\"0\"><q id=\"1\">"
            "<departmentno>01</departmentno><productno>P1</productno>"
            "<inventoryno>M1</inventoryno><serial>B1</serial><price>2.5</price>"
            "<quantity>2</quantity><period>3</period><totalmoney>5</totalmoney>"
            "<irdcode>8</irdcode><free1>f1</free1><free2/><free3/><free4/>"
            "<free5/><free6/><free7/><free8/><free9/>"
            "<free10>f10</free10><bomver>V1</bomver><bomvertd/>"
            "<moroutesn>4</moroutesn><mocode>MO1</mocode><mosubsn>0</mosubsn>"
            "<ompflag>1</ompflag></q></r>");
}

TEST_F(QueryProcTest, ConditionsOnJoinedColumnsAndQuotedTextsAgainstTheDatabase) {
  db_.AddRows(3);
  db_.conn().Execute(
      "insert into ca_batchmap values ('CO1', 'B1', 'P1', 'f1', null, null, null, null, null, "
      "null, null, null, null, null, null, 4, null, null, 0)");
  auto request = [](const std::string& fields) {
    return "<r roottag=\"q\" paginate=\"0\"><q>" + fields + "</q></r>";
  };
  // cFree1 and cmoroutesn come from the joined table; their types still decide quoting.
  EXPECT_EQ(Ids(Run(request("<field name=\"CFREE1\" operation=\"=\" value=\"f1\" logic=\"and\"/>"
                            "<field name=\"cmoroutesn\" operation=\"=\" value=\"4\" "
                            "logic=\"and\"/><field name=\"cMatID\" operation=\" like \" "
                            "value=\"M%\"/>"))),
            Range(1, 3));
  // A quote inside a value stays inside the literal: nothing matches, nothing breaks out.
  EXPECT_EQ(Ids(Run(request("<field name=\"cMatID\" operation=\"=\" value=\"x' or '1'='1\"/>"))),
            std::vector<std::string>{});
}

TEST_F(QueryProcTest, NoRowsLeaveTheEmptiedRootWithItsAttributes) {
  RecordingCaller caller;
  EXPECT_EQ(Run(Paged("3"), &caller),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<r roottag=\"q\" docid=\"7\" proc=\"QUERY\" paginate=\"3\"/>");
  EXPECT_TRUE(caller.calls.empty());
}

TEST_F(QueryProcTest, PagesHandedToTheCaller) {
  struct Case {
    std::string paginate;
    int rows;
    bool caller;
    std::vector<std::pair<int, int>> calls;  // page number, page count
    std::vector<std::vector<std::string>> pages;
    std::vector<std::string> reply;
  };
  const std::vector<Case> cases{
      {"3", 7, true, {{1, 3}, {2, 3}, {3, 3}}, {Range(1, 3), Range(4, 6), {"7"}}, {"7"}},
      {"3", 6, true, {{1, 2}, {2, 2}}, {Range(1, 3), Range(4, 6)}, {}},
      {"10", 7, true, {{1, 1}}, {Range(1, 7)}, Range(1, 7)},
      {"1", 2, true, {{1, 2}, {2, 2}}, {{"1"}, {"2"}}, {}},
      {"3", 7, false, {}, {}, Range(1, 7)},
      {"0", 7, true, {}, {}, Range(1, 7)},
      {"-3", 7, true, {}, {}, Range(1, 7)},
      {" +3 ", 4, true, {{1, 2}, {2, 2}}, {Range(1, 3), {"4"}}, {"4"}},
      {"2.5", 3, true, {{1, 2}, {2, 2}}, {Range(1, 2), {"3"}}, {"3"}},  // halves to even
      // the runtime's radix prefixes, and line ends around the value
      {"&amp;H3", 7, true, {{1, 3}, {2, 3}, {3, 3}}, {Range(1, 3), Range(4, 6), {"7"}}, {"7"}},
      {"&amp;O2", 3, true, {{1, 2}, {2, 2}}, {Range(1, 2), {"3"}}, {"3"}},
      {"&#13;&#10;3&#10;", 4, true, {{1, 2}, {2, 2}}, {Range(1, 3), {"4"}}, {"4"}},
  };
  for (const Case& c : cases) {
    QueryDatabase db;
    db.AddRows(c.rows);
    RecordingCaller caller;
    const std::string reply =
        Run(Paged(c.paginate), Release871(), &db.conn(), c.caller ? &caller : nullptr);
    SCOPED_TRACE("paginate " + c.paginate + ", rows " + std::to_string(c.rows));
    EXPECT_EQ(Ids(reply), c.reply);
    ASSERT_EQ(caller.calls.size(), c.calls.size());
    for (size_t i = 0; i < c.calls.size(); ++i) {
      EXPECT_EQ(caller.calls[i].number, c.calls[i].first);
      EXPECT_EQ(caller.calls[i].count, c.calls[i].second);
      EXPECT_EQ(Ids(caller.calls[i].page), c.pages[i]);
      // A page is the request's root, attributes and all, with rows only.
      EXPECT_EQ(caller.calls[i].page.find("<field"), std::string::npos);
      EXPECT_NE(caller.calls[i].page.find("<r roottag=\"q\" docid=\"7\" proc=\"QUERY\" paginate="),
                std::string::npos);
    }
    EXPECT_EQ(caller.refs(), 1u);
  }
}

// The registered caller is read at each page: a caller that registers another
// object while it is handed page 1 gets no later page; the new one gets pages 2
// and 3. The first stays referenced until its own call has returned.
TEST_F(QueryProcTest, PagesGoToTheCallerRegisteredAtEachPage) {
  db_.AddRows(7);
  RecordingCaller first;
  RecordingCaller second;
  com::ComPtr<com::IDispatch> registered(&first);
  uint32_t first_refs_while_replaced = 0;
  first.change = [&](size_t, std::vector<com::Variant>&) {
    registered = com::ComPtr<com::IDispatch>(&second);
    first_refs_while_replaced = first.refs();
  };
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(Paged("3")));
  QueryContext ctx{&db_.conn(), Release871(), nullptr, &registered};
  std::string reply = doc.Serialize();
  QueryProc(ctx, doc.Root().Select("q/field"), reply);

  ASSERT_EQ(first.calls.size(), 1u);
  EXPECT_EQ(Ids(first.calls[0].page), Range(1, 3));
  ASSERT_EQ(second.calls.size(), 2u);
  EXPECT_EQ(second.calls[0].number, 2);
  EXPECT_EQ(Ids(second.calls[0].page), Range(4, 6));
  EXPECT_EQ(second.calls[1].number, 3);
  EXPECT_EQ(second.calls[1].count, 3);
  EXPECT_EQ(Ids(second.calls[1].page), std::vector<std::string>{"7"});
  EXPECT_EQ(Ids(reply), std::vector<std::string>{"7"});
  EXPECT_GT(first_refs_while_replaced, 1u);  // still held by the page hand-over
  registered = nullptr;
  EXPECT_EQ(first.refs(), 1u);
  EXPECT_EQ(second.refs(), 1u);
}

TEST_F(QueryProcTest, ValuesTheCallerLeavesAreTheOnesPagingGoesOnWith) {
  db_.AddRows(7);
  RecordingCaller caller;
  caller.change = [](size_t call, std::vector<com::Variant>& args) {
    if (call == 1) args[1] = com::Variant(int32_t{5});
  };
  Run(Paged("3"), &caller);
  // Page 6 of 3 follows; the last partial page is then never page 3 of 3.
  ASSERT_EQ(caller.calls.size(), 2u);
  EXPECT_EQ(caller.calls[1].number, 6);
  EXPECT_EQ(caller.calls[1].count, 3);

  RecordingCaller counting;
  counting.change = [](size_t, std::vector<com::Variant>& args) {
    args[2] = com::Variant(int32_t{2});
  };
  // With a page count of 2, row 4 (7 mod 3 = 1 on page 2) counts as the last page
  // being complete; the reply keeps it, and the full page 2 follows.
  EXPECT_EQ(Ids(Run(Paged("3"), &counting)), std::vector<std::string>{"7"});
  ASSERT_EQ(counting.calls.size(), 3u);
  EXPECT_EQ(counting.calls[1].number, 2);
  EXPECT_EQ(counting.calls[1].count, 2);
  EXPECT_EQ(Ids(counting.calls[1].page), std::vector<std::string>{"4"});
  EXPECT_EQ(Ids(counting.calls[2].page), Range(4, 6));

  RecordingCaller wrong;
  wrong.change = [](size_t, std::vector<com::Variant>& args) { args[1] = com::Variant("x"); };
  EXPECT_EQ(FailureOf(Paged("3"), &wrong).number(), failure_numbers::kTypeMismatch);
}

TEST_F(QueryProcTest, Failures) {
  db_.AddRows(2);
  const std::string base = "<r roottag=\"q\" proc=\"QUERY\"";
  struct Case {
    std::string request;
    int32_t number;
  };
  const std::vector<Case> cases{
      {base + "><q/></r>", failure_numbers::kInvalidUseOfNull},
      {base + " paginate=\"\"><q/></r>", failure_numbers::kTypeMismatch},
      {base + " paginate=\"abc\"><q/></r>", failure_numbers::kTypeMismatch},
      {base + " paginate=\"3x\"><q/></r>", failure_numbers::kTypeMismatch},
      {base + " paginate=\"nan\"><q/></r>", failure_numbers::kTypeMismatch},
      {base + " paginate=\"&amp;H\"><q/></r>", failure_numbers::kTypeMismatch},
      {base + " paginate=\"&amp;H100000000\"><q/></r>", failure_numbers::kOverflow},
      {base + " paginate=\"99999999999\"><q/></r>", failure_numbers::kOverflow},
      {"<r proc=\"QUERY\" paginate=\"0\"/>", failure_numbers::kInvalidUseOfNull},
      {base + " paginate=\"0\"><q><field name=\"irdcode\" operation=\"=\" value=\"0\"/></q></r>",
       failure_numbers::kItemNotFound},
      {base + " paginate=\"0\"><q><field name=\"ompflag\" operation=\"=\" value=\"0\"/></q></r>",
       failure_numbers::kItemNotFound},
      {base + " paginate=\"0\"><q><field name=\"iPeriod\" operation=\"=\" value=\"1;\"/></q></r>",
       failure_numbers::kInvalidArgument},
      {"not xml", 91},
  };
  for (const Case& c : cases) EXPECT_EQ(FailureOf(c.request).number(), c.number) << c.request;
}

TEST_F(QueryProcTest, RoottagIsNeededOnlyOnceThereIsARow) {
  EXPECT_NO_THROW(Run("<r paginate=\"0\"/>", Release871(), &db_.conn(), nullptr));
  int32_t expected = 0;
  try {
    XmlDocument().CreateElement("1 bad");
  } catch (const Failure& f) {
    expected = f.number();
  }
  db_.AddRows(1);
  EXPECT_EQ(FailureOf("<r roottag=\"1 bad\" paginate=\"0\"/>").number(), expected);
}

TEST_F(QueryProcTest, NoConnectionFailsWhereTheCheckStatementWouldOpen) {
  const Failure f = FailureOf(Paged("0"), Release871(), nullptr);
  EXPECT_EQ(f.number(), 3704);
  EXPECT_EQ(f.description(), "Operation is not allowed when the object is closed.");
  // The page size is read first.
  EXPECT_EQ(FailureOf("<r roottag=\"q\"/>", Release871(), nullptr).number(),
            failure_numbers::kInvalidUseOfNull);
}

TEST_F(QueryProcTest, PagesHandedBeforeAFailureStayHanded) {
  db_.AddRows(7);
  RecordingCaller caller;
  caller.fail_on_call = 2;
  const Failure f = FailureOf(Paged("3"), &caller);
  EXPECT_EQ(f.number(), 1234);
  EXPECT_EQ(f.description(), "caller refused the page");
  EXPECT_EQ(caller.calls.size(), 2u);

  RecordingCaller without;
  without.has_process_export = false;
  EXPECT_NE(FailureOf(Paged("3"), &without).number(), 0);
}

// The query statements as each release sends them, up to the condition.
constexpr const char* kQuery871 =
    "select c.* from \r\n"
    " (select a.cDeptID,isnull(b.InvCode,'') as cppid, a.cMatID, a.cBatch, iPrice, a.iQua, "
    "a.iPeriod ,a.iMatQua,case isnull(a.irdcode,0) when 0 then 0 else 8 end as irdcode, \r\n"
    "   isnull(b.Free1,'') as cFree1, isnull(b.Free2,'') as cFree2, \r\n"
    "   isnull(b.Free3,'') as cFree3, isnull(b.Free4,'') as cFree4, \r\n"
    "   isnull(b.Free5,'') as cFree5, isnull(b.Free6,'') as cFree6, \r\n"
    "   isnull(b.Free7,'') as cFree7, isnull(b.Free8,'') as cFree8, \r\n"
    "   isnull(b.Free9,'') as cFree9, isnull(b.Free10,'') as cFree10, \r\n"
    "   isnull(b.Version,'') as cbomver, isnull(b.IdentCode,'') as cbomvertd, \r\n"
    "   isnull(b.iMORouteSN,0) as cmoroutesn, isnull(b.cMOCode,'') as cmocode, \r\n"
    "   isnull(b.iMOSubSN,0) as cmosubsn,isnull(b.ompflag,0) as ompflag\r\n"
    " from ca_mabsw a left join ca_batchmap b on a.cppid=b.iRealCOID and a.cbatch = b.cbatch\r\n"
    " ) as c";
constexpr const char* kQuery861 =
    "select c.* from \r\n"
    " (select a.cDeptID,isnull(b.InvCode,'') as cppid, a.cMatID, a.cBatch, iPrice, a.iQua, "
    "a.iPeriod ,a.iMatQua,\r\n"
    "   isnull(b.Free1,'') as cFree1, isnull(b.Free2,'') as cFree2, \r\n"
    "   isnull(b.Free3,'') as cFree3, isnull(b.Free4,'') as cFree4, \r\n"
    "   isnull(b.Free5,'') as cFree5, isnull(b.Free6,'') as cFree6, \r\n"
    "   isnull(b.Free7,'') as cFree7, isnull(b.Free8,'') as cFree8, \r\n"
    "   isnull(b.Free9,'') as cFree9, isnull(b.Free10,'') as cFree10, \r\n"
    "   isnull(b.Version,'') as cbomver, isnull(b.IdentCode,'') as cbomvertd, \r\n"
    "   isnull(str(iMORouteSN),'') as cmoroutesn, isnull(b.cMOCode,'') as cmocode, \r\n"
    "   isnull(str(iMOSubSN),'')  as cmosubsn\r\n"
    " from ca_mabsw a left join caq_coreal b on a.cppid=b.iRealCOID \r\n"
    " ) as c";

TEST_F(QueryProcTest, StatementOfEachRelease) {
  const std::string condition = "<q><field name=\"cdeptid\" operation=\"=\" value=\"01\"/></q>";
  struct Case {
    const ReleaseProfile* profile;
    std::string fields;
    std::string statement;
  };
  const std::vector<Case> cases{
      {&Release850(), condition, "select * from ca_mabsw where cDeptID='01'"},
      {&Release850(), "", "select * from ca_mabsw "},
      {&Release871(), condition, std::string(kQuery871) + "\r\nwhere cDeptID='01'"},
      {&Release871(), "", std::string(kQuery871) + "\r\n"},
      {&Release861(), condition, std::string(kQuery861) + "\r\nwhere cDeptID='01'"},
      {&Release861(), "", std::string(kQuery861) + "\r\n"},
  };
  for (const Case& c : cases) {
    FakeConnection conn({{"cDeptID", ado_type::kVarChar}});
    Run("<r roottag=\"q\" paginate=\"0\">" + c.fields + "</r>", *c.profile, &conn, nullptr);
    ASSERT_EQ(conn.opened.size(), 2u);
    EXPECT_EQ(conn.opened[1].first, c.statement) << c.profile->release;
    EXPECT_EQ(conn.opened[1].second, CursorType::kStatic);
  }
}

// A host's own ca_mabsw with declared types outside the short list: numbers go in
// bare, as the server's types of those names want them, and the rows come back.
TEST(QueryDeclaredTypesTest, ServerTypeNamesWriteNumbersBare) {
  testing::TempDir dir;
  const std::string file = dir.File("custom.db");
  CreateSqliteDatabaseFile(file);
  const std::unique_ptr<Connection> conn = OpenConnection(testing::SqliteText(file));
  conn->Execute(
      "create table ca_mabsw (cDeptID varchar(12), cppid int identity, cMatID binary(8), "
      "cBatch uniqueidentifier, iPrice smallmoney, iQua double precision, iPeriod tinyint, "
      "iMatQua number(12,2), irdcode boolean)");
  conn->Execute(
      "create table caq_coreal (iRealCOID int, InvCode varchar(20), Free1 varchar(20), "
      "Free2 varchar(20), Free3 varchar(20), Free4 varchar(20), Free5 varchar(20), "
      "Free6 varchar(20), Free7 varchar(20), Free8 varchar(20), Free9 varchar(20), "
      "Free10 varchar(20), Version varchar(20), IdentCode varchar(20), iMORouteSN int, "
      "cMOCode varchar(30), iMOSubSN int)");
  conn->Execute("insert into ca_mabsw values ('01', 7, 1, 2, 2.5, 3, 5, 7.5, 1)");
  XmlDocument doc;
  ASSERT_TRUE(
      doc.LoadXml("<r roottag=\"q\" paginate=\"0\"><q>"
                  "<field name=\"iPeriod\" operation=\"=\" value=\"5\" logic=\"and\"/>"
                  "<field name=\"iPrice\" operation=\"=\" value=\"2.5\" logic=\"and\"/>"
                  "<field name=\"iQua\" operation=\"=\" value=\"3\" logic=\"and\"/>"
                  "<field name=\"iMatQua\" operation=\"=\" value=\"7.5\" logic=\"and\"/>"
                  "<field name=\"cMatID\" operation=\"=\" value=\"1\" logic=\"and\"/>"
                  "<field name=\"cBatch\" operation=\"=\" value=\"2\"/></q></r>"));
  QueryContext ctx{conn.get(), Release861(), nullptr};
  EXPECT_EQ(BuildWhere(ctx, doc.Root().Select("q/field"), *conn),
            "where iPeriod=5 and iPrice=2.5 and iQua=3 and iMatQua=7.5 and cMatID=1 and cBatch=2");
  std::string reply = doc.Serialize();
  QueryProc(ctx, doc.Root().Select("q/field"), reply);
  EXPECT_EQ(Ids(reply), std::vector<std::string>{"1"});
}

// Release 8.61 shows the line and routing numbers through str(), as right-aligned
// texts, while its check statement types them as integers, so a condition writes
// its number bare. The host engine then converts the text to the number:
// '         2' = 2 holds, and the empty text of a row without a cost object is 0.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) out += c == '<' ? std::string("&lt;") : std::string(1, c);
  return out;
}

TEST(Release861StrColumnsTest, CompareWithBareNumbersAsNumbers) {
  QueryDatabase db;
  if (db.conn().dialect() == Dialect::kPostgres) CreatePostgresComparisons(db.conn());
  db.conn().Execute(
      "insert into caq_coreal (iRealCOID, InvCode, iMOSubSN, iMORouteSN) values ('CO1', 'P1', 2, "
      "3)");
  db.conn().Execute(
      "insert into caq_coreal (iRealCOID, InvCode, iMOSubSN, iMORouteSN) values ('CO2', 'P2', 12, "
      "1)");
  int material = 0;
  for (const char* cost_object : {"CO1", "CO2", "CO9"}) {
    db.conn().Execute("insert into ca_mabsw values ('01', '" + std::string(cost_object) + "', 'M" +
                      std::to_string(++material) + "', 'B1', 2.5, 2, 1, 5, null)");
  }
  struct Case {
    const char* name;
    const char* operation;
    const char* value;
    std::vector<std::string> materials;
  };
  const Case cases[] = {
      {"cmosubsn", "=", "2", {"M1"}},          {"cmosubsn", "=", "2.0", {"M1"}},
      {"cmosubsn", "<>", "2", {"M2", "M3"}},   {"cmosubsn", "<", "10", {"M1", "M3"}},
      {"cmosubsn", ">=", "12", {"M2"}},        {"cmoroutesn", ">", "2", {"M1"}},
      {"cmoroutesn", "=", "0", {"M3"}},        {"cmoroutesn", "<=", "1", {"M2", "M3"}},
      {"CMOROUTESN", "!=", "3", {"M2", "M3"}},
  };
  for (const Case& c : cases) {
    const std::string request = std::string("<r roottag=\"q\"><q><field name=\"") + c.name +
                                "\" operation=\"" + Escaped(c.operation) + "\" value=\"" + c.value +
                                "\"/></q></r>";
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml(request));
    QueryContext ctx{&db.conn(), Release861(), nullptr};
    std::string reply = doc.Serialize();
    QueryProc(ctx, doc.Root().Select("q/field"), reply);
    XmlDocument rows;
    ASSERT_TRUE(rows.LoadXml(reply));
    std::vector<std::string> materials;
    for (const XmlElement& row : rows.Root().ChildElements()) {
      materials.push_back(row.FirstChild("inventoryno").Text());
      if (materials.back() == "M1") {
        EXPECT_EQ(row.FirstChild("mosubsn").Text(), "         2");
        EXPECT_EQ(row.FirstChild("moroutesn").Text(), "         3");
      }
      if (materials.back() == "M3") {
        EXPECT_EQ(row.FirstChild("moroutesn").Text(), "");
      }
    }
    std::sort(materials.begin(), materials.end());
    EXPECT_EQ(materials, c.materials) << c.name << c.operation << c.value;
  }
}

TEST_F(QueryProcTest, EarlierReleasesNeverPage) {
  db_.AddRows(4);
  RecordingCaller caller;
  for (const ReleaseProfile* profile : {&Release861(), &Release850()}) {
    EXPECT_EQ(Ids(Run("<r roottag=\"q\"/>", *profile, &db_.conn(), &caller)), Range(1, 4));
    EXPECT_EQ(Ids(Run("<r roottag=\"q\" paginate=\"3\"/>", *profile, &db_.conn(), &caller)),
              Range(1, 4));
    EXPECT_EQ(Ids(Run("<r roottag=\"q\" paginate=\"junk\"/>", *profile, &db_.conn(), &caller)),
              Range(1, 4));
  }
  EXPECT_TRUE(caller.calls.empty());
}

TEST_F(QueryProcTest, Release850ReadsTheTableAsStored) {
  db_.conn().Execute("insert into ca_mabsw values ('01', 'P9', 'M1', 'B1', 2.5, 2, 3, 5, 7)");
  db_.AddRows(1);
  const std::string reply =
      Run("<r roottag=\"q\"><q><field name=\"IRDCODE\" operation=\"=\" value=\"7\"/></q></r>",
          Release850(), &db_.conn(), nullptr);
  EXPECT_EQ(reply,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r roottag=\"q\"><q id=\"1\">"
            "<departmentno>01</departmentno><productno>P9</productno>"
            "<inventoryno>M1</inventoryno><serial>B1</serial><price>2.5</price>"
            "<quantity>2</quantity><period>3</period><totalmoney>5</totalmoney>"
            "<irdcode>7</irdcode></q></r>");
}

// Every page and the reply are the request text as loaded, around the page's rows:
// its declaration, the nodes around the root, and rows in no namespace.
TEST_F(QueryProcTest, PagesAndReplyKeepTheRequestAsLoaded) {
  db_.AddRows(4);
  auto row = [](int i) {
    const std::string n = std::to_string(i);
    return "<q xmlns=\"\" id=\"" + n + "\"><departmentno>01</departmentno><productno/>" +
           "<inventoryno>M" + n + "</inventoryno><serial>B1</serial><price>2.5</price>" +
           "<quantity>2</quantity><period>" + n + "</period><totalmoney>5</totalmoney>" +
           "<irdcode>0</irdcode><free1/><free2/><free3/><free4/><free5/><free6/><free7/><free8/>"
           "<free9/><free10/><bomver/><bomvertd/><moroutesn>0</moroutesn><mocode/>"
           "<mosubsn>0</mosubsn><ompflag>0</ompflag></q>";
  };
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--c-->\n"
      "<r xmlns=\"urn:x\" roottag=\"q\" paginate=\"3\">";
  const std::string tail = "</r>\n<?after it?>";
  std::string reply =
      "<?xml version=\"1.0\"?><!--c--><r xmlns=\"urn:x\" roottag=\"q\" paginate=\"3\"><q/></r>"
      "<?after it?>";
  RecordingCaller caller;
  QueryContext ctx{&db_.conn(), Release871(), &caller};
  QueryProc(ctx, {}, reply);
  ASSERT_EQ(caller.calls.size(), 2u);
  EXPECT_EQ(caller.calls[0].page, head + row(1) + row(2) + row(3) + tail);
  EXPECT_EQ(caller.calls[1].page, head + row(4) + tail);
  EXPECT_EQ(reply, head + row(4) + tail);

  // Unpaged, with no declaration and no default namespace: none is added.
  reply = "<r roottag=\"q\" paginate=\"0\"/>";
  ctx.caller = nullptr;
  QueryProc(ctx, {}, reply);
  std::string rows;
  for (int i = 1; i <= 4; ++i) {
    std::string r = row(i);
    rows += r.erase(r.find(" xmlns=\"\""), 9);
  }
  EXPECT_EQ(reply, "<r roottag=\"q\" paginate=\"0\">" + rows + "</r>");
}

}  // namespace
}  // namespace quillor
