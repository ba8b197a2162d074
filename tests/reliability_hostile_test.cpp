// Faults found by trying to break the component, as an attacker and as an unlucky
// operator would: each table holds the hostile inputs of one fault, and every one
// of them gets a clear reply while the material table holds what the replies say.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_faults.h"
#include "testing/reliability_support.h"
#include "testing/sanitizers.h"
#include "testing/temp_dir.h"

namespace quillor::testing {
namespace {

namespace fs = std::filesystem;

class HostileTest : public ::testing::Test {
 protected:
  std::string Call(const std::string& request) {
    return Send(*object_, request, db_.ConnectionText());
  }

  SampleDb db_;
  com::ComPtr<MaterialComponent> object_ = MaterialComponent::Create(Release871());
};

// A period whose text is no whole number passes validation rounded, but the row
// write refuses it before any statement, on every engine alike.
TEST_F(HostileTest, APeriodThatIsNoWholeNumberIsAFailedWrite) {
  const char* const refused[] = {"0.6", "12.5", "5.0", "5e0", "1e1", "5.", "+5.0e0"};
  for (const char* period : refused) {
    SCOPED_TRACE(period);
    const ParsedReply reply = Parse(Call(AddRequest(Material("1", "M01", period, "3"))));
    ASSERT_EQ(reply.items.size(), 1u);
    EXPECT_EQ(reply.items[0].code, 100);
    EXPECT_EQ(reply.items[0].message, WriteFailedText());
    EXPECT_TRUE(db_.MaterialRows().empty());
  }
  // Whole numbers, signed or not, are written as they came.
  for (const char* period : {"5", "+6", "007"}) {
    SCOPED_TRACE(period);
    const ParsedReply reply = Parse(Call(AddRequest(Material("1", "M01", period, "3"))));
    ASSERT_EQ(reply.items.size(), 1u);
    EXPECT_EQ(reply.items[0].code, 0) << reply.items[0].message;
  }
  EXPECT_EQ(db_.Rows("select iPeriod from ca_mabsw order by iPeriod"),
            (std::vector<std::vector<std::string>>{{"5"}, {"6"}, {"7"}}));
}

// A Data Source that names a file which is no database is a connection failure,
// and the file is left exactly as it was: no database is made in it.
TEST(HostileDataSourceTest, AFileThatIsNoDatabaseIsAConnectionFailureAndUntouched) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"empty", ""},
      {"text", "not a database\n"},
      {"zeros", std::string(4096, '\0')},
      {"header only", std::string("SQLite format 3\0", 16)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = dir.path() / c.name;
    std::ofstream(file, std::ios::binary) << c.content;
    auto object = MaterialComponent::Create(Release871());
    const ParsedReply reply = Parse(Send(*object, AddRequest(Material("1", "M01", "5", "3")),
                                         "Provider=SQLite;Data Source=" + file.string()));
    EXPECT_TRUE(reply.is_error);
    EXPECT_EQ(reply.code, "-2147467259");
    EXPECT_NE(reply.message.find("[SQLite] "), std::string::npos) << reply.message;
    EXPECT_EQ(testing::ReadFileText(file), c.content);
    EXPECT_FALSE(fs::exists(file.string() + "-wal"));
    EXPECT_FALSE(fs::exists(file.string() + "-journal"));
  }
}

// A write lock held by another connection: every line keeps the reply a failed
// write gets, and the trace says what happened in the database's own words.
TEST(HostileLockTest, ALockedDatabaseSaysSoInTheTrace) {
  SampleDb db(TestDb::Engine::kSqlite);
  const std::string trace = (db.dir() / "trace.jsonl").string();
  auto holder = OpenConnection(db.ConnectionText());
  holder->Begin();
  holder->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D02', 'M03', 9)");

  setenv("QUILLOR_TRACE_SQL", trace.c_str(), 1);
  auto object = MaterialComponent::Create(Release871());
  const ParsedReply reply = Parse(
      Send(*object, AddRequest(Material("1", "M01", "5", "3") + Material("2", "M01", "6", "3")),
           db.ConnectionText() + ";Busy Timeout=50"));
  unsetenv("QUILLOR_TRACE_SQL");
  holder->Rollback();

  ASSERT_EQ(reply.items.size(), 2u);
  for (const ReplyItem& item : reply.items) EXPECT_EQ(item.message, WriteFailedText());
  std::istringstream lines(testing::ReadFileText(trace));
  int locked = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\"error\"") == std::string::npos) continue;
    EXPECT_NE(line.find("database is locked"), std::string::npos) << line;
    ++locked;
  }
  EXPECT_EQ(locked, 2);
}

// A failure met by a unit of work's own steps (the commit above all, where a
// lock can stop a rollback journal) reaches the trace with its words too.
TEST(HostileLockTest, AFailedCommitIsInTheTrace) {
  SampleDb db(TestDb::Engine::kSqlite);
  const std::string trace = (db.dir() / "trace.jsonl").string();
  setenv("QUILLOR_TRACE_SQL", trace.c_str(), 1);
  auto object = MaterialComponent::Create(Release871());
  const std::string request = AddRequest(Material("1", "M01", "5", "3"));
  // Counted once unarmed, on a connection of the call's own: the last statement
  // is the commit.
  const std::string text = db.ConnectionText() + ";Pooling=false";
  sqlite::faults::Scope scope;
  Send(*object, request, text);
  const int64_t all = sqlite::faults::StatementsRun();
  db.Run("delete from ca_mabsw");
  std::remove(trace.c_str());
  sqlite::faults::FailStatement(all);
  const ParsedReply reply = Parse(Send(*object, request, text));
  unsetenv("QUILLOR_TRACE_SQL");
  ASSERT_EQ(reply.items.size(), 1u);
  EXPECT_EQ(reply.items[0].code, 100);
  EXPECT_TRUE(db.MaterialRows().empty());
  const std::string lines = testing::ReadFileText(trace);
  EXPECT_NE(lines.find("{\"sql\": \"commit\", \"error\": {\"number\": -2147467259, "
                       "\"description\": \"[SQLite] disk I/O error (injected)\"}}"),
            std::string::npos)
      << lines;
}

// The rows a QUERY reply carries: the root's children named "material".
std::string QueryUnderRoottag(const std::string& roottag, const std::string& content) {
  return RequestXml(
      {.root = "zqinterface", .proc = "QUERY", .docid = "d", .roottag = roottag, .paginate = "0"},
      content);
}

// A path in roottag that would take minutes (counts of counts of every element,
// the text of the whole document in every predicate) is refused before it runs
// and fails the QUERY; an ordinary path still runs.
TEST_F(HostileTest, AnExpensivePathInRoottagFailsTheQuery) {
  std::string elements;
  for (int i = 0; i < 16000; ++i) elements += "<material/>";
  const char* const hostile[] = {
      "//*[count(//*[string-length(string(/))>0])>0]",
      "//*[contains(string(/),'zz')]",
      "*[count(//*[count(//*[count(//*[count(//*)])])])]",
      "//*[count(//*[count(//node())])]",
      "*[string-length(string(//*[count(//*[count(//*)])]))]",
      "//*[.=//*]",
      "//*/../*",  // from many nodes, libxml2 merges overlapping sets pair by pair
      "//*//*",
  };
  for (const char* roottag : hostile) {
    SCOPED_TRACE(roottag);
    const ParsedReply reply = Parse(Call(QueryUnderRoottag(roottag, elements)));
    ASSERT_TRUE(reply.is_error);
    EXPECT_EQ(reply.code, "-2147467259");
    EXPECT_NE(reply.message.find("is not one a selection takes"), std::string::npos)
        << reply.message;
  }
  const std::string ordinary = Call(QueryUnderRoottag(
      "material", elements + "<material><field name=\"cDeptID\" operation=\"=\" value=\"D01\"/>"
                             "</material>"));
  EXPECT_FALSE(Parse(ordinary).is_error) << ordinary;
}

struct PlacedText {
  const char* name;
  std::string element;
};

// One text in each place it can stand: an element's content, an attribute
// value, a CDATA section, a comment.
std::vector<PlacedText> InEachPlace(const std::string& text) {
  return {{"text", "<pad>" + text + "</pad>"},
          {"attribute", "<pad note=\"" + text + "\"/>"},
          {"section", "<pad><![CDATA[" + text + "]]></pad>"},
          {"comment", "<!--" + text + "-->"}};
}

// Requests past 10 MB whose texts or attributes are long load as any other.
TEST_F(HostileTest, ARequestBeyondTenMegabytesWithLongTextsLoads) {
  for (const PlacedText& c : InEachPlace(std::string(1000, 'x'))) {
    SCOPED_TRACE(c.name);
    std::string content;
    for (int i = 0; i < 12000; ++i) content += "<material>" + c.element + "</material>";
    const std::string request = QueryUnderRoottag("material", content);
    ASSERT_GT(request.size(), 10'000'000u);
    const std::string reply = Call(request);
    const ParsedReply parsed = Parse(reply);
    ASSERT_TRUE(parsed.parses);
    EXPECT_FALSE(parsed.is_error) << parsed.code << " " << parsed.message;
  }
}

// One text past 10,000,000 bytes (content, attribute value, CDATA section,
// comment) loads like a shorter one, whole and streamed; with entities declared
// the amplification limits hold, and so does that limit.
TEST_F(HostileTest, OneTextBeyondTenMegabytesLoads) {
  const std::string text(10'000'100, 'x');
  for (const PlacedText& c : InEachPlace(text)) {
    SCOPED_TRACE(c.name);
    const ParsedReply query = Parse(Call(QueryUnderRoottag("material", c.element)));
    EXPECT_FALSE(query.is_error) << query.code << " " << query.message;
    const ParsedReply add = Parse(Call(AddRequest(c.element + Material("1", "M01", "5", "3"))));
    EXPECT_FALSE(add.is_error) << add.code << " " << add.message;
    EXPECT_EQ(add.items.size(), 1u);
  }
  EXPECT_EQ(db_.MaterialRows().size(), 1u);  // the later ADDs found the line stored
  const ParsedReply declared =
      Parse(Call("<!DOCTYPE zqinterface [<!ENTITY e \"x\">]>" +
                 QueryUnderRoottag("material", "<pad>" + text + "</pad>")));
  EXPECT_TRUE(declared.is_error);
  EXPECT_EQ(declared.code, "100");
}

// The largest request accepted is bounded, by the connection text or else the
// environment; a larger one is refused as not loadable, with the catalogue's text
// alone: the size and the bound are for the operator, on the command's and the
// server's own channels.
TEST_F(HostileTest, TheLargestRequestAcceptedIsBounded) {
  const std::string request = AddRequest(Material("1", "M01", "5", "3"));
  const std::string size = std::to_string(request.size());
  const std::string smaller = std::to_string(request.size() - 1);
  struct Case {
    const char* name;
    std::string connection_extra;
    const char* environment;  // nullptr: unset
    bool refused;
  };
  const Case cases[] = {
      {"text: one byte short", ";Max Request Size=" + smaller, nullptr, true},
      {"text: exactly", ";Max Request Size=" + size, nullptr, false},
      {"environment: one byte short", "", smaller.c_str(), true},
      {"environment: exactly", "", size.c_str(), false},
      {"the text wins", ";Max Request Size=" + size, smaller.c_str(), false},
      {"default", "", nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.environment) setenv("QUILLOR_MAX_REQUEST_SIZE", c.environment, 1);
    const ParsedReply reply =
        Parse(Send(*object_, request, db_.ConnectionText() + c.connection_extra));
    unsetenv("QUILLOR_MAX_REQUEST_SIZE");
    if (c.refused) {
      ASSERT_TRUE(reply.is_error);
      EXPECT_EQ(reply.code, "100");
      EXPECT_EQ(reply.message, Text(msg::kXmlParseError));
    } else {
      ASSERT_EQ(reply.items.size(), 1u) << reply.message;
      EXPECT_EQ(reply.items[0].code, 0);
    }
  }
  EXPECT_EQ(db_.MaterialRows().size(), 1u);
  for (const char* bad : {"0", "-1", "12abc", "1e9"}) {
    SCOPED_TRACE(bad);
    const ParsedReply reply = Parse(
        Send(*object_, request, db_.ConnectionText() + ";Max Request Size=" + std::string(bad)));
    ASSERT_TRUE(reply.is_error);
    EXPECT_EQ(reply.code, "-2147467259");
    EXPECT_NE(reply.message.find("Max Request Size"), std::string::npos) << reply.message;
  }
}

// Stored values written by other programs: a QUERY reply is always well-formed,
// and a value it cannot carry fails it naming the row and the column.
TEST(HostileStoredValueTest, AValueAReplyCannotCarryFailsTheQueryNamingRowAndColumn) {
  SampleDb db(TestDb::Engine::kSqlite);
  struct Case {
    const char* name;
    const char* column;     // as the query names it
    const char* value_sql;  // the stored value, as SQLite writes it
    const char* why;
  };
  const Case cases[] = {
      {"control character", "cMatID", "char(1)", "byte 0x01 at offset 0"},
      {"not UTF-8 (GBK)", "cMatID", "cast(x'B2C4C1CF' as text)", "byte 0xB2 at offset 0"},
      {"blob with a NUL", "cMatID", "x'4D00'", "byte 0x00 at offset 1"},
      {"surrogate", "cMatID", "cast(x'EDA080' as text)", "byte 0xED at offset 0"},
      {"U+FFFE", "cMatID", "cast(x'EFBFBE' as text)", "byte 0xEF at offset 0"},
      {"infinite price", "iPrice", "9e999", "the stored number is infinite"},
      {"infinite total", "iMatQua", "-9e999", "the stored number is infinite"},
  };
  auto object = MaterialComponent::Create(Release871());
  const std::string query = QueryUnderRoottag("material", "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    db.Run("delete from ca_mabsw");
    db.Run(
        "insert into ca_mabsw(cDeptID, cMatID, iPrice, iPeriod, iMatQua) values "
        "('D01', 'M01', 1, 1, 1)");
    const std::string sql =
        "insert into ca_mabsw(cDeptID, cMatID, iPrice, iPeriod, iMatQua) "
        "values ('D01', 'M02', 1, 2, 1)";
    db.Run(sql);
    db.Run("update ca_mabsw set " + std::string(c.column) + " = " + c.value_sql +
           " where iPeriod = 2");
    const std::string reply = Send(*object, query, db.ConnectionText());
    const ParsedReply parsed = Parse(reply);
    ASSERT_TRUE(parsed.parses) << reply;
    ASSERT_TRUE(parsed.is_error) << reply;
    EXPECT_EQ(parsed.code, "-2147467259");
    EXPECT_EQ(parsed.message.rfind("[Quillor] row ", 0), 0u) << parsed.message;
    EXPECT_NE(parsed.message.find(", column " + std::string(c.column) + ": "), std::string::npos)
        << parsed.message;
    EXPECT_NE(parsed.message.find(c.why), std::string::npos) << parsed.message;
  }

  // What XML carries reads back exactly as stored: tab, line breaks, a carriage
  // return, markup characters and text beyond the basic plane.
  const std::string kept = "a\tb\nc\rd <&>\"' \xF0\x9F\x98\x80 \xE6\x9D\x90";
  db.Run("delete from ca_mabsw");
  db.Run(
      "insert into ca_mabsw(cDeptID, cMatID, iPrice, iPeriod, iMatQua) values "
      "('D01', cast(x'" +
      [&] {
        std::string hex;
        for (unsigned char ch : kept) {
          const char* digits = "0123456789ABCDEF";
          hex += digits[ch >> 4];
          hex += digits[ch & 15];
        }
        return hex;
      }() +
      "' as text), 1, 1, 1)");
  const std::string reply = Send(*object, query, db.ConnectionText());
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadXml(reply)) << reply;
  ASSERT_EQ(QueryRows(reply), 1);
  EXPECT_EQ(doc.Root().FirstChild("material").FirstChild("inventoryno").Text(), kept);
}

// A request parsed short of memory: in a child process under a ceiling on its
// address space, from very little room to plenty. Whatever the ceiling, the
// child answers (it never dies of a signal), and the reply is all or nothing: a
// refusal (the 100 reply, or 7 "Out of memory") with nothing written, or every
// line of the request answered, with the table holding exactly the lines
// reported written.
TEST(HostileMemoryTest, ARequestCutShortByLowMemoryIsNeverProcessedAsWhole) {
#ifdef QUILLOR_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves more address space than any ceiling leaves";
#else
  SampleDb db(TestDb::Engine::kSqlite);
  // Three lines, the last after 40 MB of elements the batch does not read: a parse
  // that stops early loses the last line.
  std::string request = "<zqinterface roottag=\"material\" docid=\"d\" proc=\"ADD\">" +
                        Material("1", "M01", "1", "3") + Material("2", "M02", "2", "3");
  while (request.size() < (40u << 20)) request += "<note>some text that is not a line</note>";
  request += Material("3", "M01", "3", "3") + "</zqinterface>";
  const std::string reply_file = (db.dir() / "reply.xml").string();

  auto address_space = [] {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  };
  int answered_whole = 0;
  for (const uint64_t room_mib : {8, 24, 64, 128, 256, 512, 1024, 4096}) {
    SCOPED_TRACE(std::to_string(room_mib) + " MiB of room");
    db.Run("delete from ca_mabsw");
    std::remove(reply_file.c_str());
    const uint64_t ceiling = address_space() + (room_mib << 20);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const rlimit limit{ceiling, ceiling};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
      std::string reply;
      com::HRESULT hr = com::S_OK;
      try {
        auto object = MaterialComponent::Create(Release871());
        com::ComPtr<IOrvoLogin> login =
            MakeLogin(db.ConnectionText(), object->profile().ids.login_iid);
        IOrvoLogin* raw = login.Get();
        hr = object->Transact(request, &raw, &reply);
      } catch (const std::bad_alloc&) {
        _exit(5);  // too little room to make the object: nothing was called
      } catch (...) {
        _exit(4);  // nothing may escape Transact
      }
      // Transact fails towards its caller only when even the failure reply could
      // not be made; it says so by its status.
      if (hr != com::S_OK && hr != com::E_OUTOFMEMORY) _exit(6);
      std::ofstream(reply_file, std::ios::binary) << reply;
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status)) << "signal " << WTERMSIG(status);
    ASSERT_TRUE(WIFEXITED(status));
    const int exit_code = WEXITSTATUS(status);
    ASSERT_TRUE(exit_code == 0 || exit_code == 5) << exit_code;
    const auto rows = db.MaterialRows();
    const std::string text = testing::ReadFileText(reply_file);
    if (exit_code == 5 || text.empty()) {  // no reply could be made: nothing written
      EXPECT_TRUE(rows.empty());
      continue;
    }
    const ParsedReply reply = Parse(text);
    ASSERT_TRUE(reply.parses) << text;
    if (reply.is_error) {
      EXPECT_TRUE(reply.code == "100" || (reply.code == "7" && reply.message == "Out of memory"))
          << reply.code << " " << reply.message;
      EXPECT_TRUE(rows.empty());
      continue;
    }
    ASSERT_FALSE(reply.items.empty());
    size_t written = 0;
    for (const ReplyItem& item : reply.items) written += item.code == 0;
    EXPECT_EQ(rows.size(), written);
    // Every line answered, or the batch ended by its own 999 result.
    if (reply.items.back().code != 999) {
      ASSERT_EQ(reply.items.size(), 3u);
      EXPECT_EQ(reply.items[2].id, "3");
      ++answered_whole;
    }
  }
  EXPECT_GT(answered_whole, 0);  // with plenty of room, the request is served
#endif
}

}  // namespace
}  // namespace quillor::testing
