// The subcommands run through the command line: transact, init-db, register and
// unregister, and demo, with the failures each one reports.
#include "tools/quillor/commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "component/registration.h"
#include "testing/scoped_env.h"
#include "platform/com/registry.h"
#include "platform/db/open_connection.h"
#include "testing/built_tree.h"
#include "testing/command_line.h"
#include "tools/quillor/demo_requests.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;
using testing::kLibrary871;
using testing::OwnRegistry;
using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;
using testing::WriteTextFile;

TEST(CommandErrorsTest, TransactFailuresBeforeTheCallExitWithOne) {
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

}  // namespace
}  // namespace quillor
