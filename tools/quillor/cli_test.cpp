#include "tools/quillor/cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "component/registration.h"
#include "platform/base/failure.h"
#include "platform/base/scoped_env.h"
#include "platform/com/dispatch.h"
#include "platform/db/open_connection.h"
#include "testing/built_tree.h"
#include "testing/temp_dir.h"
#include "tools/quillor/command_connection.h"
#include "tools/quillor/commands.h"
#include "tools/quillor/demo_requests.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/page_writer.h"
#include "tools/quillor/reply_gloss.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

const std::string kLibrary871 = testing::BuiltLibrary("8.71");

using testing::TempDir;

// A registry file of the test's own in dir, named by QUILLOR_REGISTRY while it lives.
struct OwnRegistry {
  explicit OwnRegistry(const TempDir& dir, const std::string& name = "registry")
      : path(dir.File(name)), variable("QUILLOR_REGISTRY", path.c_str()) {}
  const std::string path;
  ScopedEnv variable;
};

struct ToolRun {
  int code;
  std::string out, err;
};

ToolRun RunTool(std::vector<std::string> args, const std::string& input = "") {
  args.insert(args.begin(), "quillor");
  std::istringstream in(input);
  std::ostringstream out, err;
  const int code = RunCommandLine(args, in, out, err);
  return {code, out.str(), err.str()};
}

TEST(CliTest, UsageErrorsExitWithTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"transact", "--release", "8.72"},
           {"transact", "--release", ""},
           {"register", "--release", "9"},
           {"unregister", "--release", "8.7"},
           {"transact", "--no-such-option"},
           {"transact", "a.xml", "b.xml"},
           {"init-db"},
           {"init-db", "--sample"},
           {"demo", "--dir"},
       }) {
    const ToolRun r = RunTool(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.code, kUsageExit) << joined << r.err;
    EXPECT_FALSE(r.err.empty()) << joined;
  }
  EXPECT_EQ(RunTool({"--help"}).code, 0);
}

TEST(CliTest, ConnectionComesFromTheOptionEvenWhenEmpty) {
  ScopedEnv env("QUILLOR_CONNECTION", "Provider=SQLite;Data Source=/env.db");
  EXPECT_EQ(ChooseConnection(std::string("")), "");
  EXPECT_EQ(ChooseConnection(std::string("DSN=x")), "DSN=x");
  EXPECT_EQ(ChooseConnection(std::nullopt), "Provider=SQLite;Data Source=/env.db");
  ScopedEnv unset("QUILLOR_CONNECTION", nullptr);
  EXPECT_EQ(ChooseConnection(std::nullopt), "");
}

TEST(CliTest, SqliteDataSourceOfAConnectionText) {
  struct Case {
    const char* text;
    std::optional<std::string> file;
  };
  for (const Case& c : {
           Case{"Provider=SQLite;Data Source=/tmp/erp.db", "/tmp/erp.db"},
           Case{"provider = sqlite ; data source = rel/erp.db ; Busy Timeout=50", "rel/erp.db"},
           Case{"Data Source=/tmp/erp.db;Provider=SQLite", "/tmp/erp.db"},
           Case{"Provider=SQLOLEDB;Data Source=server", std::nullopt},
           Case{"Provider=SQLite", std::nullopt},
           Case{"Provider=SQLite;Data Source=", std::nullopt},
           Case{"DSN=erp", std::nullopt},
           Case{"Provider=SQLite;Data Source=\"/tmp/a;b.db\";Busy Timeout=50", "/tmp/a;b.db"},
           Case{"Provider=SQLite;Data Source={/tmp/c;d.db}", "/tmp/c;d.db"},
           Case{"Provider=SQLite;Data Source=\"/tmp/open", std::nullopt},
           Case{"", std::nullopt},
       }) {
    EXPECT_EQ(SqliteDataSource(c.text), c.file) << c.text;
  }
}

TEST(CliTest, LibraryResolutionOrder) {
  TempDir dir;
  const std::string registered = dir.path().string() + "/registered.so";
  std::ofstream(registered) << "x";
  const ReleaseProfile& p = Release871();
  com::Registry registry;
  const std::string fallback = "/opt/q/bin/../lib/8.71/libquillor.so";

  EXPECT_EQ(ResolveLibrary(p, std::nullopt, registry, "/opt/q/bin"), fallback);
  registry.SetValue(ClassKey(p) + "\\InprocServer32", "", registered);
  EXPECT_EQ(ResolveLibrary(p, std::nullopt, registry, "/opt/q/bin"), registered);
  EXPECT_EQ(ResolveLibrary(p, std::string("/given.so"), registry, "/opt/q/bin"), "/given.so");
  // Another release's registration is not used, nor a registered file that is gone.
  EXPECT_EQ(ResolveLibrary(Release861(), std::nullopt, registry, "/opt/q/bin"),
            "/opt/q/bin/../lib/8.61/libquillor.so");
  registry.SetValue(ClassKey(p) + "\\InprocServer32", "", dir.path().string() + "/gone.so");
  EXPECT_EQ(ResolveLibrary(p, std::nullopt, registry, "/opt/q/bin"), fallback);
  // 8.61 and 8.50 share their class: its registration may be either one's.
  registry.SetValue(ClassKey(Release850()) + "\\InprocServer32", "", registered);
  for (const ReleaseProfile* shared : {&Release861(), &Release850()}) {
    EXPECT_EQ(ResolveLibrary(*shared, std::nullopt, registry, "/opt/q/bin"),
              "/opt/q/bin/../lib/" + std::string(shared->release) + "/libquillor.so");
  }
}

TEST(CliTest, VersionNamesTheReleaseLibrariesBesideTheCommand) {
  const ToolRun r = RunTool({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("quillor 8.71\nreleases:\n", 0), 0u) << r.out;
  for (const char* release : {"8.71", "8.61", "8.50"}) {
    const std::string library = testing::BuiltLibraryResolved(release);
    EXPECT_NE(r.out.find("  " + std::string(release) + "  " + library + "\n"), std::string::npos)
        << r.out;
  }
}

TEST(CliTest, InstalledLibrariesAreFoundBesideTheCommand) {
  TempDir dir;
  const std::string installed = dir.path().string() + "/bin/../lib/quillor/8.61/libquillor.so";
  fs::create_directories(dir.path().string() + "/bin");
  fs::create_directories(dir.path().string() + "/lib/quillor/8.61");
  std::ofstream(installed) << "x";
  const com::Registry none;
  EXPECT_EQ(ResolveLibrary(Release861(), std::nullopt, none, dir.path().string() + "/bin"),
            installed);
  EXPECT_EQ(ResolveLibrary(Release871(), std::nullopt, none, dir.path().string() + "/bin"),
            dir.path().string() + "/bin/../lib/8.71/libquillor.so");
}

TEST(CliTest, TransactPassesAnExplicitEmptyConnectionOn) {
  TempDir dir;
  OwnRegistry registry(dir);
  ScopedEnv env("QUILLOR_CONNECTION",
                ("Provider=SQLite;Data Source=" + dir.path().string() + "/none.db").c_str());
  const std::string request = "<zqinterface roottag=\"material\" docid=\"d\" proc=\"add\"/>";

  const ToolRun empty =
      RunTool({"transact", "--library", kLibrary871, "--connection", "", "-"}, request);
  EXPECT_EQ(empty.code, 0) << empty.err;
  EXPECT_NE(empty.out.find("<reply code=\"529\" message=\"数据库连接错误!\"/>\n"),
            std::string::npos)
      << empty.out;

  // Without the option the variable's text is used: a missing file is a failure, not 529.
  const ToolRun from_env = RunTool({"transact", "--library", kLibrary871}, request);
  EXPECT_EQ(from_env.code, 0) << from_env.err;
  EXPECT_EQ(from_env.out.find("code=\"529\""), std::string::npos) << from_env.out;
  EXPECT_NE(from_env.out.find("<reply code=\""), std::string::npos) << from_env.out;
}

TEST(CliTest, TransactFailuresBeforeTheCallExitWithOne) {
  const ToolRun missing_request =
      RunTool({"transact", "--library", kLibrary871, "/nonexistent/request.xml"});
  EXPECT_EQ(missing_request.code, 1);
  EXPECT_NE(missing_request.err.find("/nonexistent/request.xml"), std::string::npos);

  const ToolRun missing_library =
      RunTool({"transact", "--library", "/nonexistent/lib.so", "-"}, "<a/>");
  EXPECT_EQ(missing_library.code, 1);
  EXPECT_NE(missing_library.err.find("/nonexistent/lib.so"), std::string::npos);
  EXPECT_TRUE(missing_library.out.empty());
}

TEST(PageWriterTest, WritesEachPageAndReportsProgress) {
  TempDir dir;
  std::ostringstream progress;
  com::ComPtr<com::IDispatch> writer = MakePageWriter(dir.path().string(), progress);
  for (int32_t page : {1, 2}) {
    std::vector<com::Variant> args{com::Variant("<page n=\"" + std::to_string(page) + "\"/>"),
                                   com::Variant(page), com::Variant(2.0)};
    com::InvokeByName(*writer, "processexport", args);
  }
  EXPECT_EQ(progress.str(), "page 1 of 2\npage 2 of 2\n");
  std::ifstream in(dir.path().string() + "/page-2.xml");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "<page n=\"2\"/>");

  std::vector<com::Variant> wrong{com::Variant("x"), com::Variant("one"), com::Variant(1)};
  EXPECT_THROW(com::InvokeByName(*writer, "ProcessExport", wrong), Failure);
  std::vector<com::Variant> short_args{com::Variant("x")};
  EXPECT_THROW(com::InvokeByName(*writer, "ProcessExport", short_args), Failure);
}

TEST(InitDbTest, CreatesTheTablesAndTheSample) {
  TempDir dir;
  const std::string connection = "Provider=SQLite;Data Source=" + dir.path().string() + "/erp.db";
  const ToolRun r = RunTool({"init-db", "--connection", connection, "--sample"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("ca_depDf"), std::string::npos) << r.out;

  std::unique_ptr<Connection> conn = OpenConnection(connection);
  struct Count {
    const char* sql;
    int64_t rows;
  };
  for (const Count& c : {
           Count{"select cDeptID from ca_depDf where bIsBaseDep=1", 2},
           Count{"select cDeptID from ca_depDf where cDeptID='D09' and bIsBaseDep=0", 1},
           Count{"select cInvCode from Inventory", 3},
           Count{"select cBatch from ca_pronb", 2},
           Count{"select iRealCOID from caq_coreal", 4},
           Count{"select iRealCOID from caq_coreal where iRealCOID=1002 and Free1='RED'", 1},
           Count{"select iRealCOID from ca_batchmap where iRealCOID=2001 and cbatch='B2' and "
                 "cMOCode='MO7' and iMOSubSN=2 and iMORouteSN=3 and ompflag=0",
                 1},
           Count{"select cValue from AccInformation where cSysID='ca' and cID='06'", 1},
           Count{"select cValue from AccInformation", 1},
           Count{"select iperiod from gl_mend", 12},
           Count{"select iperiod from gl_mend where bflag_CA=1", 1},
           Count{"select cPSPCode from ProductStructureEx", 3},
       }) {
    auto rs = conn->Open(c.sql, CursorType::kStatic);
    EXPECT_EQ(rs->RecordCount(), c.rows) << c.sql;
  }
  // A second run on the same file keeps the tables and refuses nothing.
  EXPECT_EQ(RunTool({"init-db", "--connection", connection}).code, 0);
}

TEST(InitDbTest, AQuotedDataSourceWithASemicolonIsTheFileTheComponentOpens) {
  TempDir dir;
  const std::string file = dir.path().string() + "/erp;main.db";
  const std::string connection = "Provider=SQLite;Data Source=\"" + file + "\"";
  const ToolRun init = RunTool({"init-db", "--connection", connection, "--sample"});
  ASSERT_EQ(init.code, 0) << init.err;
  EXPECT_TRUE(fs::exists(file));
  EXPECT_FALSE(fs::exists(dir.path().string() + "/\"" + dir.path().string().substr(1)));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path().string()), fs::directory_iterator()),
            1);

  OwnRegistry registry(dir);
  const std::string query =
      "<zqinterface roottag=\"material\" docid=\"d\" proc=\"QUERY\" paginate=\"0\"><material>"
      "<field name=\"cDeptID\" operation=\"=\" value=\"D01\"/></material></zqinterface>";
  const ToolRun call =
      RunTool({"transact", "--library", kLibrary871, "--connection", connection, "-"}, query);
  EXPECT_EQ(call.code, 0) << call.err;
  // A file the component could not open, or one without the host tables, is a failure reply.
  EXPECT_EQ(call.out.find("code=\""), std::string::npos) << call.out;
  EXPECT_NE(call.out.find("<zqinterface"), std::string::npos) << call.out;
}

}  // namespace
}  // namespace quillor

namespace quillor {
namespace {

TEST(DemoTest, RunsEverySampleRequestOnAFreshDatabase) {
  TempDir dir;
  OwnRegistry registry(dir);
  const std::string demo_dir = dir.path().string() + "/demo";
  for (int run = 0; run < 2; ++run) {  // the second run starts from a fresh database again
    const ToolRun r = RunTool({"demo", "--dir", demo_dir, "--library", kLibrary871});
    ASSERT_EQ(r.code, 0) << r.err;
    size_t replies = 0;
    for (size_t at = r.out.find("== REPLY\n"); at != std::string::npos;
         at = r.out.find("== REPLY\n", at + 1)) {
      ++replies;
    }
    EXPECT_EQ(replies, DemoRequests().size());
    // The sample data make the first line of the ADD valid; other lines are refused.
    EXPECT_NE(r.out.find("<item id=\"1\" code=\"0\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" code=\"101\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("<reply code=\"710\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("code=\"529\""), std::string::npos) << r.out;
  }
  EXPECT_TRUE(fs::exists(demo_dir + "/demo.db"));
  // The paged QUERY handed its pages to the page writer.
  EXPECT_TRUE(fs::exists(demo_dir + "/pages/page-1.xml"));
}

}  // namespace
}  // namespace quillor

namespace quillor {
namespace {

TEST(RegisterCommandTest, RegistersIntoTheRegistryFileAndTransactFindsItThere) {
  TempDir dir;
  OwnRegistry registry(dir, "cfg/registry");
  const std::string& path = registry.path;
  const ToolRun reg = RunTool({"register", "--release", "8.71", "--library", kLibrary871});
  ASSERT_EQ(reg.code, 0) << reg.err;
  EXPECT_NE(reg.out.find("registry: " + path + "\n"), std::string::npos) << reg.out;
  const com::Registry r = com::Registry::Load(path);
  const auto registered = r.GetValue(ClassKey(Release871()) + "\\InprocServer32");
  ASSERT_TRUE(registered.has_value());
  EXPECT_EQ(*registered, fs::canonical(kLibrary871).string());

  // With no --library the registered file is the one loaded.
  const ToolRun call = RunTool({"transact", "--connection", ""}, "<zqinterface proc=\"add\"/>");
  EXPECT_EQ(call.code, 0) << call.err;
  EXPECT_NE(call.out.find("code=\"529\""), std::string::npos) << call.out;

  const ToolRun unreg = RunTool({"unregister", "--library", kLibrary871});
  ASSERT_EQ(unreg.code, 0) << unreg.err;
  EXPECT_FALSE(com::Registry::Load(path).HasKey(ClassKey(Release871())));
}

}  // namespace
}  // namespace quillor

namespace quillor {
namespace {

int64_t CountRows(Connection& conn, const std::string& table) {
  return conn.Open("select * from " + table, CursorType::kStatic)->RecordCount();
}

TEST(InitDbTest, TheSampleAddedTwiceLeavesTheSameRows) {
  TempDir dir;
  const std::string connection = "Provider=SQLite;Data Source=" + dir.path().string() + "/erp.db";
  const std::vector<std::string> tables{"ca_depDf",   "Inventory",         "ca_pronb",
                                        "caq_coreal", "ca_batchmap",       "AccInformation",
                                        "gl_mend",    "ProductStructureEx"};
  ASSERT_EQ(RunTool({"init-db", "--connection", connection, "--sample"}).code, 0);
  std::map<std::string, int64_t> first;
  {
    std::unique_ptr<Connection> conn = OpenConnection(connection);
    for (const auto& t : tables) first[t] = CountRows(*conn, t);
    // A row someone removed is put back; the others stay single.
    conn->Execute("delete from ca_depDf where cDeptID='D02'");
  }
  const ToolRun again = RunTool({"init-db", "--connection", connection, "--sample"});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_NE(again.out.find("ca_depDf: D01 and D02 (basic departments), D09 (not basic) (1 row "
                           "added, 2 rows already there)"),
            std::string::npos)
      << again.out;
  EXPECT_NE(again.out.find("(0 rows added, 12 rows already there)"), std::string::npos)
      << again.out;
  std::unique_ptr<Connection> conn = OpenConnection(connection);
  for (const auto& t : tables) EXPECT_EQ(CountRows(*conn, t), first[t]) << t;
}

// A file the command can be pointed at that is no library.
std::string WriteTextFile(const std::string& path) {
  std::ofstream(path) << "not a library\n";
  return path;
}

TEST(CommandErrorsTest, SayWhatFailedOnWhichFileAndWhatToDo) {
  TempDir dir;
  OwnRegistry registry(dir);
  const std::string request = dir.path().string() + "/add.xml";
  std::ofstream(request) << "<zqinterface roottag=\"material\" docid=\"d\" proc=\"add\"/>";
  const std::string missing_db = dir.path().string() + "/missing.db";
  const std::string text_file = WriteTextFile(dir.path().string() + "/notes.txt");

  struct Case {
    std::vector<std::string> args;
    int code;
    std::vector<std::string> err_words;  // all of them on standard error
    bool reply;                          // the reply is on standard output
  };
  const std::vector<Case> cases{
      {{"transact", "--library", kLibrary871, "--connection",
        "Provider=SQLite;Data Source=" + missing_db, request},
       0,
       {"the database file " + missing_db + " does not exist", "quillor init-db --connection"},
       true},
      {{"transact", "--library", kLibrary871, "--trace-sql",
        dir.path().string() + "/no/such/t.jsonl", request},
       1,
       {"cannot write the SQL trace file " + dir.path().string() + "/no/such/t.jsonl",
        "No such file or directory", "leave out --trace-sql"},
       false},
      {{"transact", "--library", text_file, request},
       1,
       {text_file + " is not a server library", "--library takes the path"},
       false},
      {{"transact", "--library", dir.path().string() + "/none.so", request},
       1,
       {"no server library at " + dir.path().string() + "/none.so"},
       false},
      {{"transact", "--release", "8.61", "--library", kLibrary871, request},
       1,
       {"does not serve release 8.61: it is release 8.71"},
       false},
      {{"transact", "--library", kLibrary871, dir.path().string() + "/none.xml"},
       1,
       {"cannot read the request file " + dir.path().string() + "/none.xml", "examples/add.xml"},
       false},
  };
  for (const Case& c : cases) {
    const ToolRun r = RunTool(c.args);
    EXPECT_EQ(r.code, c.code) << c.args.back() << "\n" << r.err;
    for (const std::string& word : c.err_words) {
      EXPECT_NE(r.err.find(word), std::string::npos) << word << "\n" << r.err;
    }
    // Words, not a bare status number.
    EXPECT_EQ(r.err.find("(-2147467259)"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.rfind("<?xml", 0) == 0, c.reply) << r.out;
  }
  // The failure reply itself is the component's, unchanged.
  const ToolRun db = RunTool({"transact", "--library", kLibrary871, "--connection",
                              "Provider=SQLite;Data Source=" + missing_db, request});
  EXPECT_EQ(db.out,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<reply code=\"-2147467259\" "
            "message=\"[SQLite] unable to open database file\"/>\n");
}

TEST(CommandErrorsTest, ALibraryNamedWithoutASlashIsAFileHere) {
  TempDir dir;
  WriteTextFile(dir.path().string() + "/README.md");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  const ToolRun r = RunTool({"transact", "--library", "README.md", "-"}, "<a/>");
  fs::current_path(before);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("./README.md is not a server library"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

TEST(RegisterCommandTest, RegistryProblemsAreToldInWords) {
  TempDir dir;
  {
    ScopedEnv q("QUILLOR_REGISTRY", nullptr), x("XDG_CONFIG_HOME", nullptr), h("HOME", nullptr);
    const ToolRun r = RunTool({"register", "--library", kLibrary871});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no place for the registry file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("set QUILLOR_REGISTRY"), std::string::npos) << r.err;
  }
  // A registry below a plain file cannot be made, even by root.
  const std::string blocker = WriteTextFile(dir.path().string() + "/plain");
  ScopedEnv q("QUILLOR_REGISTRY", (blocker + "/registry").c_str());
  for (const char* command : {"register", "unregister"}) {
    const ToolRun r = RunTool({command, "--library", kLibrary871});
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_NE(r.err.find(blocker + " is not a folder"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("QUILLOR_REGISTRY"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\n0x"), std::string::npos) << r.err;
  }
}

TEST(RegisterCommandTest, HelpNamesTheRegistryFileAndItsOrder) {
  for (const char* command : {"register", "unregister"}) {
    const ToolRun r = RunTool({command, "--help"});
    EXPECT_EQ(r.code, 0);
    const size_t q = r.out.find("$QUILLOR_REGISTRY"), x = r.out.find("$XDG_CONFIG_HOME"),
                 h = r.out.find("$HOME/.config/quillor/registry");
    ASSERT_NE(h, std::string::npos) << r.out;
    EXPECT_LT(q, x);
    EXPECT_LT(x, h);
  }
}

TEST(RegisterCommandTest, SaysWhenNothingIsRegisteredAndWhenTheReleaseDiffers) {
  TempDir dir;
  OwnRegistry registry(dir);
  const std::string& path = registry.path;
  const ToolRun nothing = RunTool({"unregister", "--release", "8.71", "--library", kLibrary871});
  EXPECT_EQ(nothing.code, 0) << nothing.err;
  EXPECT_NE(nothing.out.find("release 8.71 is not registered in " + path), std::string::npos)
      << nothing.out;
  EXPECT_FALSE(fs::exists(path));

  const std::string lib861 = testing::BuiltLibrary("8.61");
  const std::string lib850 = testing::BuiltLibrary("8.50");
  struct Case {
    std::string release, library, served;
  };
  for (const Case& c : {Case{"8.61", kLibrary871, "8.71"}, Case{"8.71", lib861, "8.61"},
                        Case{"8.61", lib850, "8.50"}}) {
    const ToolRun r = RunTool({"register", "--release", c.release, "--library", c.library});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(
        r.err.find("warning: " + c.library + " is release " + c.served + ", not " + c.release),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("registered release " + c.served), std::string::npos) << r.out;
  }
  // 8.50 now holds the class 8.61 shares with it: 8.61 is not the one registered.
  const ToolRun shared = RunTool({"unregister", "--release", "8.61", "--library", lib861});
  EXPECT_EQ(shared.code, 0) << shared.err;
  EXPECT_NE(shared.out.find("which stays"), std::string::npos) << shared.out;
  // No warning when the release was left to the library.
  const ToolRun quiet = RunTool({"register", "--library", lib861});
  EXPECT_EQ(quiet.err, "");
}

TEST(DemoTest, GlossesEachReplyInEnglishApartFromIt) {
  TempDir dir;
  OwnRegistry registry(dir);
  const std::string demo_dir = dir.path().string() + "/demo";
  const ToolRun r = RunTool({"demo", "--dir", demo_dir, "--library", kLibrary871});
  ASSERT_EQ(r.code, 0) << r.err;
  for (const std::string& line : std::vector<std::string>{
           "# item 1: 0, written\n",
           "# item 4: 101, refused: the quantity must not be 0\n",
           "# item 6: 101, refused: D09: the department is not a base costing department\n",
           "# reply 710: unknown operation: proc is neither ADD nor QUERY\n",
           "(files in " + demo_dir + "/pages)",
           "# the earlier rows went to the page files (2 pages in " + demo_dir +
               "/pages: page-1.xml to page-2.xml",
       }) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  EXPECT_EQ(r.out.find("DIR/pages"), std::string::npos);
  // Each reply is one line of its own, the gloss starts on the next.
  for (size_t at = r.out.find("== REPLY\n"); at != std::string::npos;
       at = r.out.find("== REPLY\n", at + 1)) {
    // The reply's lines (its declaration, where the request had one, and its root)
    // each start with '<'; the first line after them is the gloss.
    const size_t reply = at + 9;
    size_t line = reply;
    while (line < r.out.size() && r.out[line] == '<') line = r.out.find('\n', line) + 1;
    EXPECT_GT(line, reply);
    EXPECT_EQ(r.out.compare(line, 2, "# "), 0) << r.out.substr(reply, line - reply);
  }
}

TEST(ReplyGlossTest, CatalogueTextsInEnglishWithTheirData) {
  struct Case {
    const char* message;
    const char* english;
  };
  for (const Case& c : {
           Case{"成功", "written"},
           Case{"存货档案中无该存货编码M99",
                "the inventory code is not in the inventory file: M99"},
           Case{"数据库操作错误：材料表中已存在该记录，不能重复！",
                "database operation failed: the row is already in the material table"},
           Case{"部门：D02, 产品：P200, 自由项1：BLUE，找不到对应的成本对象！",
                "department D02, product P200, free item 1 BLUE: no cost object matches these "
                "values"},
           Case{"Type mismatch", "Type mismatch"},
       }) {
    EXPECT_EQ(GlossMessage(c.message), c.english) << c.message;
  }
}

}  // namespace
}  // namespace quillor
