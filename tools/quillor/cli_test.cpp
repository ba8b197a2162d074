#include "tools/quillor/cli.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "component/registration.h"
#include "platform/com/dispatch.h"
#include "platform/database.h"
#include "platform/failure.h"
#include "testing/temp_dir.h"
#include "tools/quillor/commands.h"
#include "tools/quillor/connection_text.h"
#include "tools/quillor/demo_requests.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/page_writer.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

const std::string kLibrary871 = std::string(QUILLOR_BUILD_DIR) + "/lib/8.71/libquillor.so";

// Sets a variable for one test and restores it afterwards.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    if (const char* v = getenv(name)) old_ = v;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvVar() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

using testing::TempDir;

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
  EnvVar env("QUILLOR_CONNECTION", "Provider=SQLite;Data Source=/env.db");
  EXPECT_EQ(ChooseConnection(std::string("")), "");
  EXPECT_EQ(ChooseConnection(std::string("DSN=x")), "DSN=x");
  EXPECT_EQ(ChooseConnection(std::nullopt), "Provider=SQLite;Data Source=/env.db");
  EnvVar unset("QUILLOR_CONNECTION", nullptr);
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

TEST(CliTest, TransactPassesAnExplicitEmptyConnectionOn) {
  TempDir dir;
  EnvVar registry("QUILLOR_REGISTRY", (dir.path().string() + "/registry").c_str());
  EnvVar env("QUILLOR_CONNECTION",
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

  EnvVar registry("QUILLOR_REGISTRY", (dir.path().string() + "/registry").c_str());
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
  EnvVar registry("QUILLOR_REGISTRY", (dir.path().string() + "/registry").c_str());
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
  const std::string path = dir.path().string() + "/cfg/registry";
  EnvVar registry("QUILLOR_REGISTRY", path.c_str());
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
