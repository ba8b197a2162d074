// The request envelope: every reply Transact builds itself, the options read, and
// the object's caller registration and thread rules.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "component/material_component.h"
#include "platform/base/failure.h"
#include "platform/com/error_info.h"
#include "platform/db/connection_pool.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "platform/xml/xml_hooks.h"
#include "platform/xml/xml_node_list_object.h"
#include "schema/host_schema.h"
#include "testing/pg_database.h"
#include "testing/recording_caller.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

// A host database with the host tables and nothing in them: a temporary file, or a
// schema of its own on the PostgreSQL server that QUILLOR_TEST_PG_CONNECTION names.
class HostDatabase {
 public:
  HostDatabase() : file_(dir_.path() / "host.db") {
    if (const auto pg = testing::PgConnectionText()) {
      pg_ = std::make_unique<testing::PgDatabase>(*pg);
    } else {
      CreateSqliteDatabaseFile(file_.string());
    }
    CreateHostTables(*Connect());
  }
  std::string ConnectionText() const {
    return pg_ ? pg_->text() : "Provider=SQLite;Data Source=" + file_.string();
  }
  bool postgres() const { return pg_ != nullptr; }
  std::unique_ptr<Connection> Connect() const { return OpenConnection(ConnectionText()); }
  void Run(std::string_view sql) const { Connect()->Execute(sql); }
  fs::path dir() const { return dir_.path(); }

 private:
  testing::TempDir dir_;
  fs::path file_;
  std::unique_ptr<testing::PgDatabase> pg_;
};

class TransactTest : public ::testing::Test {
 protected:
  std::string Call(std::string_view request, std::string connection_text) {
    return CallOn(*object_, request, std::move(connection_text));
  }
  std::string Call(std::string_view request) { return Call(request, db_.ConnectionText()); }

  static std::string CallOn(MaterialComponent& object, std::string_view request,
                            std::string connection) {
    com::ComPtr<IOrvoLogin> login = MakeLogin(std::move(connection), Release871().ids.login_iid);
    IOrvoLogin* raw = login.Get();
    std::string reply;
    EXPECT_EQ(object.Transact(std::string(request), &raw, &reply), com::S_OK);
    return reply;
  }

  static std::string Reply(std::string_view code, std::string_view message) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"" + std::string(code) +
           "\" message=\"" + std::string(message) + "\"/>";
  }

  HostDatabase db_;
  com::ComPtr<MaterialComponent> object_ = MaterialComponent::Create(Release871());
};

TEST_F(TransactTest, EnvelopeErrorReplies) {
  struct Case {
    const char* name;
    std::string request;
    std::string expected;
  };
  const std::string unknown = Reply("710", "未知的Proc操作");
  const std::string unparsable = Reply("100", "解析XML时发生错误,请你检查XML参数格式");
  const Case cases[] = {
      {"empty text", "", unparsable},
      {"not xml", "material lines", unparsable},
      {"unclosed element", "<ufinterface proc=\"ADD\">", unparsable},
      {"unknown proc", R"(<ufinterface roottag="m" docid="1" proc="DELETE"/>)", unknown},
      {"proc with a leading blank", R"(<ufinterface proc=" ADD"/>)", unknown},
      {"empty proc", R"(<ufinterface proc=""/>)", unknown},
      {"no proc", R"(<ufinterface roottag="m"/>)", unknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Call(c.request), c.expected) << c.name;
  }
}

// Whatever the reply, the call's connection is back in the pool when Transact
// returns: a reply that kept it would hold the database (and its write lock) for
// a call that is over.
TEST_F(TransactTest, EveryReplyGivesTheConnectionBack) {
  struct Case {
    const char* name;
    std::string request;
    std::string connection_suffix;
  };
  const Case cases[] = {
      {"an ADD batch",
       R"(<ufinterface roottag="material" docid="1" proc="ADD"><material id="1"/></ufinterface>)",
       ""},
      {"not well-formed", "<ufinterface proc=\"ADD\">", ""},
      {"unknown proc", R"(<ufinterface roottag="m" docid="1" proc="DELETE"/>)", ""},
      {"refused query condition",
       R"(<ufinterface roottag="material" docid="1" proc="QUERY" paginate="0"><material><field name="cDeptID" operation="drop" value="1"/></material></ufinterface>)",
       ""},
      {"over the request bound", R"(<ufinterface roottag="m" docid="1" proc="ADD"/>)",
       ";Max Request Size=10"},
  };
  ConnectionPool& pool = ConnectionPool::ForProcess();
  for (const Case& c : cases) {
    const uint64_t opened_before = pool.Counts().opened + pool.Counts().reused;
    const std::string reply = Call(c.request, db_.ConnectionText() + c.connection_suffix);
    const PoolCounts after = pool.Counts();
    EXPECT_GT(after.opened + after.reused, opened_before) << c.name << ": no connection was taken";
    EXPECT_EQ(after.busy, 0u) << c.name << ": " << reply;
  }
}

TEST_F(TransactTest, EmptyConnectionTextGives529) {
  EXPECT_EQ(Call(R"(<ufinterface proc="ADD"/>)", ""), Reply("529", "数据库连接错误!"));
}

TEST_F(TransactTest, ConnectionFailureIsReportedBeforeAParseFailure) {
  const std::string missing = "Provider=SQLite;Data Source=" + (db_.dir() / "none.db").string();
  EXPECT_EQ(Call("not xml", missing),
            Reply("-2147467259", "[SQLite] unable to open database file"));
}

// How many times a call reads its request's text: an ADD proves it well-formed
// and reads its lines, a QUERY or any other operation reads it once, and of a
// request over the bound only the root's start tag is read, within the bound.
TEST_F(TransactTest, EachOperationReadsTheRequestAsOftenAsItMust) {
  std::string many = R"(<ufinterface roottag="material" docid="M" proc="add">)";
  for (int i = 0; i < 40; ++i) many += "<material id=\"" + std::to_string(i) + "\"/>";
  many += "</ufinterface>";
  const std::string declared = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  struct Case {
    const char* name;
    std::string request;
    std::string connection_suffix;
    int passes;
    std::string reply_starts;
  };
  const Case cases[] = {
      {"ADD, one line",
       R"(<ufinterface roottag="material" docid="1" proc="ADD"><material id="1"/></ufinterface>)",
       "", 2, declared + R"(<reply docid="1" proc="ADD"><item id="1")"},
      {"ADD, many lines", many, "", 2, declared + R"(<reply docid="M" proc="add"><item id="0")"},
      {"ADD without lines", R"(<ufinterface docid="0" proc="ADD"/>)", "", 2,
       declared + R"(<reply docid="0" proc="ADD"/>)"},
      {"ADD broken at its end", R"(<ufinterface proc="ADD"><material id="1"/>)", "", 1,
       declared + R"(<reply code="100")"},
      {"QUERY",
       R"(<ufinterface roottag="material" docid="1" proc="query" paginate="0"><material>)"
       R"(<field name="cDeptID" operation="=" value="D01"/></material></ufinterface>)",
       "", 1, R"(<ufinterface roottag="material" docid="1" proc="query" paginate="0"/>)"},
      {"an unknown proc", R"(<ufinterface roottag="m" docid="1" proc="DELETE"/>)", "", 1,
       declared + R"(<reply code="710")"},
      {"not XML", "material lines", "", 1, declared + R"(<reply code="100")"},
      {"over the request bound", R"(<ufinterface roottag="m" docid="1" proc="ADD"/>)",
       ";Max Request Size=40", 1, declared + R"(<reply code="100")"},
  };
  for (const Case& c : cases) {
    const xml_hooks::PassCounter counter(c.request);
    const std::string reply = Call(c.request, db_.ConnectionText() + c.connection_suffix);
    EXPECT_EQ(counter.passes(), c.passes) << c.name;
    EXPECT_TRUE(reply.starts_with(c.reply_starts)) << c.name << ": " << reply;
  }
  // A call whose connection fails has read its request once, before the
  // connection was opened, to tell its envelope; its lines are never read.
  const xml_hooks::PassCounter counter(cases[0].request);
  EXPECT_EQ(Call(cases[0].request, ""), Reply("529", "数据库连接错误!"));
  EXPECT_EQ(counter.passes(), 1);
}

// The call's stop flag is asked before each line and never inside one: set while
// the first line is answered, it lets that line stand and answers no other.
TEST_F(TransactTest, TheCallsStopEndsTheBatchBetweenTwoLines) {
  const std::string request =
      R"(<ufinterface roottag="material" docid="S" proc="ADD"><material id="1"/>)"
      R"(<material id="2"/><material id="3"/></ufinterface>)";
  for (const bool stop_after_first : {false, true}) {
    std::atomic<bool> stop{false};
    CallHooks hooks;
    hooks.stop = &stop;
    std::vector<std::string> answered;
    hooks.item = [&](const ItemDetail& item) {
      answered.emplace_back(item.id);
      if (stop_after_first) stop = true;
    };
    com::ComPtr<IOrvoLogin> login = MakeLogin(db_.ConnectionText(), Release871().ids.login_iid);
    IOrvoLogin* raw = login.Get();
    std::string reply;
    EXPECT_EQ(object_->TransactWith(request, &raw, &reply, hooks), com::S_OK);
    const std::vector<std::string> expected =
        stop_after_first ? std::vector<std::string>{"1"} : std::vector<std::string>{"1", "2", "3"};
    EXPECT_EQ(answered, expected) << reply;
    EXPECT_EQ(reply.find(R"(<item id="2")") == std::string::npos, stop_after_first) << reply;
  }
}

TEST_F(TransactTest, ProcInAnyCaseRunsAdd) {
  for (const char* proc : {"ADD", "add", "Add"}) {
    EXPECT_EQ(
        Call(std::string(R"(<ufinterface roottag="m" docid="D7" proc=")") + proc + "\"/>"),
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply docid=\"D7\" proc=\"") +
            proc + "\"/>")
        << proc;
  }
}

TEST_F(TransactTest, UnreadableOptionsFailEveryOperationThatParses) {
  db_.Run("drop table AccInformation");
  // The same number from either engine; the description is the engine's own.
  const std::string expected =
      db_.postgres() ? Reply("-2147217900",
                             "ERROR: relation &quot;accinformation&quot; does not exist;&#10;Error "
                             "while executing the query")
                     : Reply("-2147217900", "[SQLite] no such table: accinformation");
  for (const char* proc : {"ADD", "QUERY", "NOSUCH"}) {
    EXPECT_EQ(Call(std::string(R"(<ufinterface roottag="m" paginate="0" proc=")") + proc + "\"/>"),
              expected)
        << proc;
  }
  // A request that does not parse never reaches the options.
  EXPECT_EQ(Call("<x"), Reply("100", "解析XML时发生错误,请你检查XML参数格式"));
}

TEST_F(TransactTest, OptionsDecideTheCostObjectMode) {
  const std::string request = R"(<ufinterface proc="NONE"/>)";
  auto set_options = [&](const char* v8601, const char* v8602) {
    db_.Run("delete from AccInformation");
    if (v8601)
      db_.Run(std::string("insert into AccInformation values('ca','8601','',") + v8601 + ")");
    if (v8602)
      db_.Run(std::string("insert into AccInformation values('ca','8602','',") + v8602 + ")");
    Call(request);
    return object_->cost_object_mode();
  };
  EXPECT_EQ(set_options(nullptr, nullptr), 0);
  EXPECT_EQ(set_options("'1'", nullptr), 1);
  EXPECT_EQ(set_options("'1'", "'1'"), 2);
  // 8602 alone names no mode: the previous call's mode stays.
  EXPECT_EQ(set_options(nullptr, "'1'"), 2);
  EXPECT_EQ(set_options("'0'", "'0'"), 0);
  EXPECT_EQ(set_options(nullptr, "'1'"), 0);
  // Exactly "1": a blank before it, another text, or null is off.
  EXPECT_EQ(set_options("' 1'", nullptr), 0);
  EXPECT_EQ(set_options("'01'", nullptr), 0);
  EXPECT_EQ(set_options("null", nullptr), 0);
  // Several rows for one option: the first row read counts.
  db_.Run("delete from AccInformation");
  db_.Run("insert into AccInformation values('ca','8601','','1')");
  db_.Run("insert into AccInformation values('ca','8601','','0')");
  Call(request);
  EXPECT_EQ(object_->cost_object_mode(), 1);
}

TEST_F(TransactTest, TraceShowsTheOptionStatements) {
  const fs::path trace = db_.dir() / "trace.jsonl";
  setenv("QUILLOR_TRACE_SQL", trace.c_str(), 1);
  Call(R"(<ufinterface proc="NONE"/>)");
  unsetenv("QUILLOR_TRACE_SQL");
  std::ifstream in(trace);
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(
      first.rfind(
          R"({"sql": "select * from accinformation where csysid='ca' and cid='8601'", "rows": 0, "ms": )",
          0),
      0u)
      << first;
  EXPECT_EQ(
      second.rfind(
          R"({"sql": "select * from accinformation where csysid='ca' and cid='8602'", "rows": 0, "ms": )",
          0),
      0u)
      << second;
}

TEST(MessageTextTest, TextsWithSpecialCharacters) {
  ReleaseMessageTexts lookup(Release871());
  // The database-operation text ends in a full-width colon (U+FF1A).
  EXPECT_EQ(lookup.Text("Orvo.Ca.EAI.imaterial.00005"), "数据库操作错误\xEF\xBC\x9A");
  // Curly quotation marks (U+201C, U+201D) and one blank before the second term.
  EXPECT_EQ(lookup.Text("Orvo.Ca.EAI.imaterial.00016"),
            "\xE2\x80\x9C总金额\xE2\x80\x9D不等于 \xE2\x80\x9C单价*耗量\xE2\x80\x9D！");
  EXPECT_THROW(lookup.Text("Orvo.Ca.EAI.imaterial.00010"), Failure);
  // Release 8.61 has the closed-period text and no ompflag label.
  ReleaseMessageTexts lookup861(Release861());
  EXPECT_EQ(lookup861.Text("Orvo.Ca.EAI.imaterial.00015"), "该期间已结帐！");
  EXPECT_THROW(lookup861.Text("Orvo.ca.uscbhs.Orvo71.00028"), Failure);
}

// Callers here only show their identity and their reference count.
using FakeCaller = testing_fakes::RecordingCaller;

TEST(CallerRegistrationTest, DropComparesWithoutReleasing) {
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  FakeCaller a, b;
  com::IDispatch* none = nullptr;
  com::IDispatch* pa = &a;
  com::IDispatch* pb = &b;
  bool result = false;
  // Two empty references are the same.
  ASSERT_EQ(object->DropObjectReference(&none, &result), com::S_OK);
  EXPECT_TRUE(result);
  ASSERT_EQ(object->AddObjectReference(&pa, &result), com::S_OK);
  EXPECT_TRUE(result);
  EXPECT_EQ(a.refs(), 2u);
  object->DropObjectReference(&pb, &result);
  EXPECT_FALSE(result);
  object->DropObjectReference(&pa, &result);
  EXPECT_TRUE(result);
  EXPECT_EQ(a.refs(), 2u) << "A stays registered";
  // A new registration releases the earlier caller.
  object->AddObjectReference(&pb, &result);
  EXPECT_EQ(a.refs(), 1u);
  EXPECT_EQ(b.refs(), 2u);
  object.Reset();
  EXPECT_EQ(b.refs(), 1u) << "released when the object ends";
}

TEST(CallerRegistrationTest, ReleasesWithoutRegistrationRefuseIt) {
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release861());
  FakeCaller a;
  com::IDispatch* pa = &a;
  bool result = true;
  EXPECT_EQ(object->AddObjectReference(&pa, &result), com::E_NOTIMPL);
  int32_t dispid = 0;
  EXPECT_EQ(object->GetIDsOfNames("AddObjectReference", &dispid), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(object->GetIDsOfNames("transact", &dispid), com::S_OK);
  EXPECT_EQ(dispid, 0x60030000);
}

TEST(ApartmentTest, CallsFromAnotherThreadAreRefused) {
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  com::ComPtr<IOrvoLogin> login = MakeLogin("", Release871().ids.login_iid);
  com::HRESULT hr = com::S_OK;
  std::string reply = "untouched";
  std::thread other([&] {
    IOrvoLogin* raw = login.Get();
    hr = object->Transact(R"(<ufinterface proc="ADD"/>)", &raw, &reply);
  });
  other.join();
  EXPECT_EQ(hr, com::RPC_E_WRONG_THREAD);
  EXPECT_EQ(reply, "untouched");
}

TEST(TransactByNameTest, TransactThroughDispatch) {
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  com::ComPtr<IOrvoLogin> login = MakeLogin("", Release871().ids.login_iid);
  std::vector<com::Variant> args{com::Variant("<x/>"),
                                 com::Variant(com::ComPtr<com::IDispatch>(login.Get()))};
  com::Variant result = com::InvokeByName(*object, "Transact", args);
  ASSERT_TRUE(result.Holds<std::string>());
  EXPECT_EQ(result.Get<std::string>(),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"529\" "
            "message=\"数据库连接错误!\"/>");
}

// The QUERY reply is the request as it was loaded, serialised again: an XML
// declaration only when the request had one, the comments, processing
// instructions and type declaration around the root kept, and rows that read back
// in no namespace, also under a root that declares a default namespace.
TEST_F(TransactTest, QueryReplyIsTheRequestAsLoaded) {
  db_.Run(
      "insert into ca_mabsw(cDeptID,cppid,cMatID,cBatch,iPrice,iQua,iPeriod,iMatQua,irdcode) "
      "values('D1','CO1','M1','B1',2,3,5,6,0)");
  const std::string row =
      "<departmentno>D1</departmentno><productno/><inventoryno>M1</inventoryno>"
      "<serial>B1</serial><price>2</price><quantity>3</quantity><period>5</period>"
      "<totalmoney>6</totalmoney><irdcode>0</irdcode><free1/><free2/><free3/><free4/><free5/>"
      "<free6/><free7/><free8/><free9/><free10/><bomver/><bomvertd/><moroutesn>0</moroutesn>"
      "<mocode/><mosubsn>0</mosubsn><ompflag>0</ompflag>";
  const std::string root = R"(roottag="material" docid="d" proc="QUERY" paginate="0")";

  EXPECT_EQ(Call("<ufinterface " + root +
                 R"(><material><field name="cMatID" operation="=" value="M1"/></material>)"
                 "</ufinterface>"),
            "<ufinterface " + root + "><material id=\"1\">" + row + "</material></ufinterface>");

  const std::string reply = Call(
      "<?xml version=\"1.0\"?>\n<!-- from the ledger -->\n<?route eai?>\n"
      "<!DOCTYPE ufinterface>\n<ufinterface xmlns=\"urn:eai\" " +
      root + "><material/></ufinterface>\n<!-- end -->\n");
  EXPECT_EQ(reply,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- from the ledger -->\n<?route eai?>\n"
            "<!DOCTYPE ufinterface>\n<ufinterface xmlns=\"urn:eai\" " +
                root + "><material xmlns=\"\" id=\"1\">" + row +
                "</material></ufinterface>\n<!-- end -->");
  // Read back, the row and its fields are in no namespace: a path without a
  // prefix finds them.
  XmlDocument read;
  ASSERT_TRUE(read.LoadXml(reply));
  ASSERT_EQ(read.Root().Select("material/inventoryno").size(), 1u);
  EXPECT_EQ(read.Root().Select("material/inventoryno")[0].Text(), "M1");
}

// The condition elements of a QUERY text, as the node list object a late-bound
// caller passes to QueryProc.
com::Variant NodeListOf(const std::string& request, const std::string& path) {
  auto doc = std::make_shared<XmlDocument>();
  EXPECT_TRUE(doc->LoadXml(request));
  XmlNodeList elements = doc->Root().Select(path);
  return com::Variant(com::ComPtr<com::IDispatch>(MakeNodeListObject(doc, elements).Get()));
}

TEST(QueryProcByNameTest, TheNodeListTravelsAsAnAutomationObject) {
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  const std::string request =
      R"(<r roottag="q" paginate="0"><q><field name="cDeptID" operation="=" value="D01"/></q></r>)";
  std::vector<com::Variant> args{NodeListOf(request, "q/field"), com::Variant(request)};
  std::vector<com::Variant> length_args;
  EXPECT_EQ(com::InvokeByName(*args[0].Get<com::ComPtr<com::IDispatch>>().Get(), "length",
                              length_args, com::InvokeKind::kPropertyGet)
                .Get<int32_t>(),
            1);
  // Outside Transact there is no connection: the call reaches QueryProc and fails
  // where the check statement would open, leaving sRetXml as it came.
  try {
    com::InvokeByName(*object, "QueryProc", args);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), 3704);
    EXPECT_EQ(failure.description(), "Operation is not allowed when the object is closed.");
  }
  EXPECT_EQ(args[1].Get<std::string>(), request);
  // Anything else in the place of the list is a type mismatch, as before.
  std::vector<com::Variant> wrong{com::Variant("q/field"), com::Variant(request)};
  int32_t dispid = 0;
  ASSERT_EQ(object->GetIDsOfNames("QueryProc", &dispid), com::S_OK);
  EXPECT_EQ(object->Invoke(dispid, com::InvokeKind::kMethod, wrong, nullptr, nullptr),
            com::DISP_E_TYPEMISMATCH);
}

// A registered caller, handed a page, asks the same object for rows by name: the
// reply comes back in the by-reference sRetXml, the result is false.
class QueryingCaller final : public com::Implements<com::IDispatch> {
 public:
  explicit QueryingCaller(MaterialComponent& object) : object_(object) {}
  com::HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    if (name != "ProcessExport") return com::DISP_E_UNKNOWNNAME;
    *dispid = 1;
    return com::S_OK;
  }
  com::HRESULT Invoke(int32_t, com::InvokeKind, std::vector<com::Variant>&, com::Variant*,
                      com::ExceptionInfo*) override {
    const std::string request =
        R"(<r roottag="q" paginate="0"><q><field name="cMatID" operation="=" value="M02"/></q></r>)";
    std::vector<com::Variant> args{NodeListOf(request, "q/field"), com::Variant(request)};
    result = com::InvokeByName(object_, "QueryProc", args);
    reply = args[1].Get<std::string>();
    return com::S_OK;
  }
  com::Variant result;
  std::string reply;

 private:
  bool AnswersTo(const com::Guid& iid) const override { return iid == com::kIID_IDispatch; }
  MaterialComponent& object_;
};

TEST_F(TransactTest, ALateBoundCallerGetsQueryProcRowsDuringItsOwnQuery) {
  for (const char* material : {"M01", "M02"}) {
    db_.Run(std::string("insert into ca_mabsw(cDeptID,cppid,cMatID,cBatch,iPrice,iQua,iPeriod,"
                        "iMatQua,irdcode) values ('D01','1001','") +
            material + "','B1',2,3,5,6,0)");
  }
  auto caller = com::ComPtr<QueryingCaller>::Adopt(new QueryingCaller(*object_));
  com::IDispatch* raw_caller = caller.Get();
  bool registered = false;
  ASSERT_EQ(object_->AddObjectReference(&raw_caller, &registered), com::S_OK);
  Call(R"(<ufinterface roottag="material" proc="QUERY" paginate="5"/>)");
  ASSERT_TRUE(caller->result.Holds<bool>());
  EXPECT_FALSE(caller->result.Get<bool>());
  XmlDocument reply;
  ASSERT_TRUE(reply.LoadXml(caller->reply)) << caller->reply;
  ASSERT_EQ(reply.Root().ChildElements().size(), 1u) << caller->reply;
  const XmlElement row = reply.Root().ChildElements()[0];
  EXPECT_EQ(row.Name(), "q");
  EXPECT_EQ(row.Attribute("id"), "1");
  EXPECT_EQ(row.FirstChild("inventoryno").Text(), "M02");
}

}  // namespace
}  // namespace quillor
