// What the command says to a person beside the reply: --explain's English, the
// notes after a call, the nearest valid word for a mistyped one, and the guards
// of --pages-dir and init-db.
#include "tools/quillor/transact_notes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testing/built_tree.h"
#include "testing/command_line.h"
#include "tools/quillor/cli.h"
#include "tools/quillor/nearest_name.h"

namespace quillor {
namespace {

using testing::kLibrary871;
using testing::OwnRegistry;
using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;

constexpr const char* kPrettyAdd = R"(<ufinterface roottag="material" docid="d" proc="ADD">
  <material id="1">
    <departmentno>D01</departmentno>
    <productno>P100</productno>
    <inventoryno>M01</inventoryno>
    <serial>B1</serial>
    <price>
      2
    </price>
    <quantity>3</quantity>
    <period>2.5</period>
    <totalmoney>6</totalmoney>
  </material>
  <material id="2">
    <departmentno>D09</departmentno>
    <inventoryno>M02</inventoryno>
    <price>1</price>
    <quantity>1</quantity>
    <period>5</period>
    <totalmoney>1</totalmoney>
  </material>
</ufinterface>)";

class TransactNotesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunTool({"init-db", "--connection", connection_, "--sample"}).code, 0);
  }
  TempDir dir_;
  OwnRegistry registry_{dir_};
  std::string connection_ = "Provider=SQLite;Data Source=" + dir_.path().string() + "/erp.db";
};

TEST_F(TransactNotesTest, ExplainSaysWhyInEnglishAndLeavesTheReplyAlone) {
  const std::vector<std::string> base{"transact", "--library", kLibrary871, "--connection",
                                      connection_};
  const ToolRun plain = RunTool(base, kPrettyAdd);
  std::vector<std::string> explained_args = base;
  explained_args.push_back("--explain");
  const ToolRun explained = RunTool(explained_args, kPrettyAdd);
  ASSERT_EQ(explained.code, 0) << explained.err;
  EXPECT_EQ(explained.out, plain.out);
  EXPECT_NE(plain.out.find("code=\"100\""), std::string::npos) << plain.out;
  EXPECT_EQ(plain.err.find("# item"), std::string::npos) << plain.err;
  EXPECT_NE(explained.err.find("# item 1: 100, the write failed: database operation failed: the "
                               "row is already in the material table\n"
                               "#   why: period 2.5 is not a whole number\n"),
            std::string::npos)
      << explained.err;
  EXPECT_NE(explained.err.find("# item 2: 101, refused: D09: the department is not a base "
                               "costing department\n"),
            std::string::npos)
      << explained.err;
  // A trace asked for as well keeps every line, the refusal among them.
  const std::string trace = dir_.path().string() + "/t.jsonl";
  explained_args.insert(explained_args.end(), {"--trace-sql", trace});
  const ToolRun traced = RunTool(explained_args, kPrettyAdd);
  EXPECT_NE(traced.err.find("#   why: period 2.5"), std::string::npos) << traced.err;
  std::ifstream in(trace);
  const std::string lines((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(lines.find("{\"refused\": \"period 2.5 is not a whole number\", \"item\": \"1\""),
            std::string::npos)
      << lines;
  EXPECT_NE(lines.find("{\"sql\": "), std::string::npos);
}

TEST_F(TransactNotesTest, NotesTheMissingConnectionAndTheOversizedRequest) {
  const ToolRun none = RunTool({"transact", "--library", kLibrary871, "--connection", ""},
                               "<ufinterface roottag=\"material\" docid=\"d\" proc=\"ADD\"/>");
  EXPECT_NE(none.out.find("code=\"529\""), std::string::npos) << none.out;
  EXPECT_NE(none.err.find("no connection text: give --connection TEXT or set QUILLOR_CONNECTION"),
            std::string::npos)
      << none.err;

  const std::string request = "<ufinterface roottag=\"material\" docid=\"d\" proc=\"ADD\"/>";
  const std::string file = dir_.path().string() + "/big.xml";
  std::ofstream(file) << request;
  const ToolRun big = RunTool({"transact", "--library", kLibrary871, "--connection",
                               connection_ + ";Max Request Size=10", file});
  // The reply carries the catalogue's text alone; the numbers are on standard error.
  EXPECT_NE(big.out.find("message=\"解析XML时发生错误,请你检查XML参数格式\"/>"), std::string::npos)
      << big.out;
  EXPECT_NE(big.err.find("the request is " + std::to_string(request.size()) +
                         " bytes, more than the largest accepted, 10 bytes (Max Request Size)"),
            std::string::npos)
      << big.err;

  // Standard input is read no further than the bound: its length is not known.
  const ToolRun piped = RunTool(
      {"transact", "--library", kLibrary871, "--connection", connection_ + ";Max Request Size=10"},
      request);
  EXPECT_NE(piped.out.find("message=\"解析XML时发生错误,请你检查XML参数格式\"/>"),
            std::string::npos)
      << piped.out;
  EXPECT_NE(piped.err.find("the request from standard input went past the largest accepted, 10 "
                           "bytes (Max Request Size), and was read no further"),
            std::string::npos)
      << piped.err;
}

TEST_F(TransactNotesTest, AConnectionTextNoDriverKnowsGetsTheForms) {
  const std::string request = "<ufinterface roottag=\"material\" docid=\"d\" proc=\"ADD\"/>";
  struct Case {
    const char* text;
    const char* says;
  };
  for (const Case& c : {
           Case{"DSN=quillor_no_such_source",
                "neither Provider=SQLite nor an ODBC text the driver manager knows"},
           // A provider nothing here opens is named, never sent to the driver manager.
           Case{"Provider=SQLight;Data Source=x.db",
                "quillor: [Quillor] the connection text names the provider SQLight, which"},
       }) {
    const ToolRun r =
        RunTool({"transact", "--library", kLibrary871, "--connection", c.text}, request);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.text << "\n" << r.err;
    EXPECT_NE(r.err.find("DSN=NAME"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Provider=SQLOLEDB;Data Source=HOST"), std::string::npos) << r.err;
  }
  const ToolRun good =
      RunTool({"transact", "--library", kLibrary871, "--connection", connection_}, request);
  EXPECT_EQ(good.err.find("driver manager"), std::string::npos) << good.err;
}

TEST_F(TransactNotesTest, PagesDirWithPageFilesNeedsOverwrite) {
  const std::string pages = dir_.path().string() + "/pages";
  std::filesystem::create_directories(pages);
  std::ofstream(pages + "/page-1.xml") << "<old/>";
  const std::string query =
      R"(<ufinterface roottag="material" docid="d" proc="QUERY" paginate="1"><material/></ufinterface>)";
  const std::vector<std::string> args{"transact",  "--library",   kLibrary871, "--connection",
                                      connection_, "--pages-dir", pages};
  const ToolRun refused = RunTool(args, query);
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("already holds page files"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("--overwrite"), std::string::npos) << refused.err;
  EXPECT_TRUE(refused.out.empty());
  std::vector<std::string> overwrite = args;
  overwrite.push_back("--overwrite");
  const ToolRun replaced = RunTool(overwrite, query);
  EXPECT_EQ(replaced.code, 0) << replaced.err;
  std::ifstream in(pages + "/page-1.xml");
  const std::string page((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(page.find("<old/>"), std::string::npos);
}

TEST_F(TransactNotesTest, InitDbOnAFullDatabaseSaysTheTablesArePresent) {
  const ToolRun again = RunTool({"init-db", "--connection", connection_});
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_NE(again.out.find("host tables already present\n"), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("created"), std::string::npos) << again.out;
}

TEST(MistypedWords, NameTheNearestValidOne) {
  struct Case {
    std::vector<std::string> args;
    const char* said;
  };
  for (const Case& c : {
           Case{{"transact", "--conection", "x"},
                "unknown option --conection for transact; did you mean --connection?"},
           Case{{"transact", "--libary=x"},
                "unknown option --libary for transact; did you mean --library?"},
           Case{{"trasnact"}, "unknown subcommand trasnact; did you mean transact?"},
           Case{{"init-db", "--smaple"}, "did you mean --sample?"},
           Case{{"frobnicate"}, "unknown subcommand frobnicate\n"},
       }) {
    const ToolRun r = RunTool(c.args);
    EXPECT_EQ(r.code, kUsageExit);
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
  }
  EXPECT_EQ(NearestName("--conection", {"--connection", "--release"}), "--connection");
  EXPECT_EQ(NearestName("--x", {"--connection", "--release"}), std::nullopt);
}

TEST(MistypedWords, TransactHelpSaysItReadsStandardInput) {
  const ToolRun help = RunTool({"transact", "--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("Without a request file the request is read from standard input"),
            std::string::npos)
      << help.out;
  EXPECT_NE(help.out.find("--explain"), std::string::npos);
}

TEST(ExplainFromItems, EachLineWithItsReasonAndTheCallsOwnOutcome) {
  // The English is the library's.
  const LibraryQueries library = LoadQueries(testing::BuiltLibraryResolved("8.71"));
  const auto GlossMessage = [&library](std::string_view message) {
    return library.gloss_message(message);
  };
  EXPECT_EQ(GlossMessage("成功"), "written");
  const std::vector<ItemNote> items = {
      {"6", 0, "成功", "", ""},
      {"7", 100, "数据库操作错误：材料表中已存在该记录，不能重复！", "price \n2x is not a number",
       ""},
  };
  SessionFacts add;
  add.operation = QUILLOR_OPERATION_ADD;
  EXPECT_EQ(ExplainItems(add, items, library),
            (std::vector<std::string>{
                "# item 6: 0, " + GlossMessage("成功"),
                "# item 7: 100, the write failed: " +
                    GlossMessage("数据库操作错误：材料表中已存在该记录，不能重复！"),
                "#   why: price \\n2x is not a number",
            }));
  const std::vector<ItemNote> unanswered = {{std::nullopt, 3, "连接失败", "", "IM002"}};
  EXPECT_EQ(ExplainItems(SessionFacts{}, unanswered, library),
            std::vector<std::string>{"# reply 3: " + GlossMessage("连接失败")});
  EXPECT_EQ(DriverState(unanswered), "IM002");
  EXPECT_EQ(DriverState(items), "");
  // No outcome at all: a QUERY's rows as the call counted them, or an ADD of no
  // lines.
  SessionFacts query;
  query.operation = QUILLOR_OPERATION_QUERY;
  for (const auto& [rows, line] :
       std::vector<std::pair<int64_t, std::string>>{{1, "# 1 row in the reply"},
                                                    {0, "# 0 rows in the reply"},
                                                    {12, "# 12 rows in the reply"}}) {
    query.rows = rows;
    EXPECT_EQ(ExplainItems(query, {}, library), std::vector<std::string>{line});
  }
  EXPECT_EQ(ExplainItems(add, {}, library), std::vector<std::string>{"# no item results"});
}

}  // namespace
}  // namespace quillor
