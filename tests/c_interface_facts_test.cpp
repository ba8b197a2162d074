// The call's facts through the C interface, as a host reads them instead of the
// request and the reply: the operation, proc and docid read once from the root,
// whether the rows go out in pages, the reply's own code and SQLSTATE, the rows
// of the reply and of each page, and an ADD's item results by code.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quillor/quillor.h"
#include "schema/sample_data.h"
#include "testing/c_interface_fixture.h"
#include "testing/c_interface_library.h"
#include "testing/test_db.h"

namespace quillor::testing {
namespace {

// The facts copied out while their texts are valid.
struct Facts {
  int32_t operation = -1;
  bool paged = false;
  std::string proc;
  std::string docid;
  std::optional<int32_t> code;
  std::string state;
  int64_t rows = 0;
  int64_t pages = 0;
  int64_t page_rows = 0;
  std::map<int32_t, uint64_t> items;

  static Facts From(const quillor_facts_t& f) {
    Facts out;
    out.operation = f.operation;
    out.paged = f.paged != 0;
    out.proc = f.proc;
    out.docid = f.docid;
    if (f.has_code) out.code = f.code;
    out.state = f.state;
    out.rows = f.rows;
    out.pages = f.pages;
    out.page_rows = f.page_rows;
    for (size_t i = 0; i < f.item_codes; ++i) out.items[f.items[i].code] = f.items[i].count;
    return out;
  }
};

std::optional<Facts> FactsOf(const CInterfaceLibrary& lib, const quillor_t* object) {
  quillor_facts_t facts{};
  facts.size = sizeof facts;
  if (lib.facts(object, &facts) != 0) return std::nullopt;
  return Facts::From(facts);
}

std::string Line(const std::string& id, const std::string& department, const std::string& period) {
  return "<material id=\"" + id + "\"><departmentno>" + department +
         "</departmentno><productno>P100</productno><inventoryno>M01</inventoryno><serial>B1"
         "</serial><price>2</price><quantity>3</quantity><period>" +
         period + "</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>";
}

std::string Root(const std::string& attributes, const std::string& content = "") {
  return "<ufinterface " + attributes + ">" + content + "</ufinterface>";
}

using CallPtr = std::unique_ptr<quillor_call_t, void (*)(quillor_call_t*)>;

class CInterfaceFactsTest : public CInterfaceFixture {};

TEST_P(CInterfaceFactsTest, EachCallsFactsAreWhatTheComponentReadAndWrote) {
  // One stored line before, so that a QUERY has a row to count.
  lib_.Reply(object_, nullptr, Root(R"(proc="ADD" docid="seed")", Line("s", "D01", "9")),
             db_.ConnectionText());
  ASSERT_GE(StoredLines(), 1);
  constexpr int64_t kEveryStoredLine = -1;
  const std::string missing_file = "Provider=SQLite;Data Source=/nonexistent/dir/x.db";
  struct Case {
    const char* what;
    std::string request;
    std::string connection;  // "" the test database's; "BOUND" it with a small bound
    int32_t operation;
    std::string proc;
    std::string docid;
    std::optional<int32_t> code;  // the reply's own; a failure's number when negative
    std::map<int32_t, uint64_t> items;
    int64_t rows;  // kEveryStoredLine: every line stored by then
  };
  const std::vector<Case> cases = {
      {"an ADD of stored, refused and failed lines, proc in lower case",
       Root(R"(proc="add" docid="D &amp; 7")", Line("1", "D01", "5") + Line("2", "D09", "5") +
                                                   Line("3", "D01", "2.5") + Line("4", "D01", "6")),
       "",
       QUILLOR_OPERATION_ADD,
       "add",
       "D & 7",
       std::nullopt,
       {{0, 2}, {100, 1}, {101, 1}},
       0},
      {"an ADD of no lines",
       Root(R"(proc="ADD" docid="none")"),
       "",
       QUILLOR_OPERATION_ADD,
       "ADD",
       "none",
       std::nullopt,
       {},
       0},
      {"a QUERY, not paged",
       Root(R"(roottag="material" proc="Query" docid="q" paginate="0")"),
       "",
       QUILLOR_OPERATION_QUERY,
       "Query",
       "q",
       std::nullopt,
       {},
       kEveryStoredLine},
      {"a request that is not XML",
       "this is <not xml",
       "",
       QUILLOR_OPERATION_UNREAD,
       "",
       "",
       QUILLOR_REPLY_NOT_WELL_FORMED,
       {},
       0},
      {"a long ADD broken at its end: read, and no line written",
       Root(R"(proc="ADD" docid="b")",
            std::string(64 * 1024, ' ') + Line("1", "D01", "7") + "<material>"),
       "",
       QUILLOR_OPERATION_ADD,
       "ADD",
       "b",
       QUILLOR_REPLY_NOT_WELL_FORMED,
       {},
       0},
      {"an unknown proc",
       Root(R"(proc="DROP" docid="x")"),
       "",
       QUILLOR_OPERATION_OTHER,
       "DROP",
       "x",
       QUILLOR_REPLY_UNKNOWN_PROC,
       {},
       0},
      {"no proc at all",
       Root(R"(docid="x")"),
       "",
       QUILLOR_OPERATION_OTHER,
       "",
       "x",
       QUILLOR_REPLY_UNKNOWN_PROC,
       {},
       0},
      {"a database that cannot be opened: the root is read before the connection",
       Root(R"(proc="ADD" docid="u")", Line("1", "D01", "5")),
       missing_file,
       QUILLOR_OPERATION_ADD,
       "ADD",
       "u",
       static_cast<int32_t>(0x80004005u),
       {},
       0},
      {"an ADD over the request bound: refused unread, its start tag alone read",
       Root(R"(proc="ADD" docid="big")", Line("1", "D01", "5")),
       "BOUND",
       QUILLOR_OPERATION_ADD,
       "ADD",
       "big",
       QUILLOR_REPLY_NOT_WELL_FORMED,
       {},
       0},
      {"a QUERY with no connection text",
       Root(R"(roottag="material" proc="QUERY" docid="n")"),
       "-",
       QUILLOR_OPERATION_QUERY,
       "QUERY",
       "n",
       QUILLOR_REPLY_NO_CONNECTION,
       {},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string connection = c.connection.empty() ? db_.ConnectionText() : c.connection;
    if (c.connection == "-") connection.clear();
    if (c.connection == "BOUND") connection = db_.ConnectionText() + ";Max Request Size=100";
    const std::string reply = lib_.Reply(object_, nullptr, c.request, connection);
    const std::optional<Facts> facts = FactsOf(lib_, object_);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->operation, c.operation);
    EXPECT_EQ(facts->proc, c.proc);
    EXPECT_EQ(facts->docid, c.docid);
    EXPECT_EQ(facts->code, c.code) << reply;
    EXPECT_EQ(facts->items, c.items) << reply;
    EXPECT_EQ(facts->rows, c.rows == kEveryStoredLine ? StoredLines() : c.rows) << reply;
    EXPECT_FALSE(facts->paged);
    EXPECT_EQ(facts->pages, 0);
    // The code is the reply's own, never a second wording.
    if (c.code) {
      EXPECT_NE(reply.find("<reply code=\"" + std::to_string(*c.code) + "\""), std::string::npos)
          << reply;
    }
  }
}

TEST_P(CInterfaceFactsTest, TheDriversStateComesWithTheCallsOwnOutcome) {
  lib_.Reply(object_, nullptr, Root(R"(proc="ADD" docid="d")", Line("1", "D01", "5")),
             "DSN=quillor_no_such_source");
  const std::optional<Facts> facts = FactsOf(lib_, object_);
  ASSERT_TRUE(facts);
  ASSERT_TRUE(facts->code);
  EXPECT_LT(*facts->code, 0);
  EXPECT_EQ(facts->state, "IM002");
  EXPECT_TRUE(facts->items.empty());
}

TEST_P(CInterfaceFactsTest, ANewCallForgetsTheLastOnesFacts) {
  lib_.Reply(object_, nullptr, Root(R"(proc="ADD" docid="a")", Line("1", "D09", "5")),
             db_.ConnectionText());
  ASSERT_EQ(FactsOf(lib_, object_)->items, (std::map<int32_t, uint64_t>{{101, 1}}));
  lib_.Reply(object_, nullptr, "no xml", db_.ConnectionText());
  const std::optional<Facts> facts = FactsOf(lib_, object_);
  EXPECT_TRUE(facts->items.empty());
  EXPECT_EQ(facts->docid, "");
  EXPECT_EQ(facts->operation, QUILLOR_OPERATION_UNREAD);
  lib_.Reply(object_, nullptr, Root(R"(proc="ADD" docid="b")"), db_.ConnectionText());
  EXPECT_FALSE(FactsOf(lib_, object_)->code);
}

TEST_P(CInterfaceFactsTest, FactsAskedWrongAreAStatusAndBeforeAnyCallNothing) {
  quillor_facts_t facts{};
  facts.size = sizeof facts;
  EXPECT_LT(lib_.facts(nullptr, &facts), 0);
  EXPECT_LT(lib_.facts(object_, nullptr), 0);
  facts.size = sizeof facts - 1;  // a host of a header older than the facts
  EXPECT_LT(lib_.facts(object_, &facts), 0);
  facts.size = sizeof facts;
  ASSERT_EQ(lib_.facts(object_, &facts), 0);
  EXPECT_EQ(facts.size, sizeof facts);
  EXPECT_EQ(facts.operation, QUILLOR_OPERATION_UNREAD);
  EXPECT_STREQ(facts.proc, "");
  EXPECT_STREQ(facts.state, "");
  EXPECT_EQ(facts.has_code, 0);
  EXPECT_EQ(facts.item_codes, 0u);
}

// What the read receiver was told, and when.
struct Told {
  std::vector<Facts> reads;
};

void ReceiveRead(void* state, const quillor_facts_t* facts) {
  auto* told = static_cast<Told*>(state);
  told->reads.push_back(Facts::From(*facts));
}

TEST_P(CInterfaceFactsTest, TheReadReceiverIsToldOnceTheRootIsReadAndBeforeAnythingElse) {
  CallPtr call(lib_.call_create(), lib_.call_destroy);
  Told told;
  lib_.set_read_receiver(call.get(), ReceiveRead, &told);
  // Told even when the connection then fails: the root is read first.
  lib_.Reply(object_, call.get(), Root(R"(proc="ADD" docid="r")", Line("1", "D01", "5")),
             "Provider=SQLite;Data Source=/nonexistent/dir/x.db");
  ASSERT_EQ(told.reads.size(), 1u);
  EXPECT_EQ(told.reads[0].operation, QUILLOR_OPERATION_ADD);
  EXPECT_EQ(told.reads[0].docid, "r");
  EXPECT_FALSE(told.reads[0].code);  // nothing answered yet
  // A request whose start tag does not read tells nothing.
  told.reads.clear();
  lib_.Reply(object_, call.get(), "<a\0b", db_.ConnectionText());
  EXPECT_TRUE(told.reads.empty());
  // Taken away, nothing is told.
  lib_.set_read_receiver(call.get(), nullptr, nullptr);
  lib_.Reply(object_, call.get(), Root(R"(proc="ADD" docid="r")"), db_.ConnectionText());
  EXPECT_TRUE(told.reads.empty());
}

INSTANTIATE_TEST_SUITE_P(EveryRelease, CInterfaceFactsTest,
                         ::testing::Values("8.71", "8.61", "8.50"));

// A paged QUERY's facts: the rows of each page as its receiver is handed it.
struct PageRows {
  const CInterfaceLibrary* lib = nullptr;
  quillor_t* object = nullptr;
  std::vector<int64_t> rows;  // the page's rows, asked from inside the receiver
  std::vector<bool> paged;
};

int32_t ReceivePage(void* state, const char*, size_t, int32_t*, int32_t*) {
  auto* seen = static_cast<PageRows*>(state);
  const std::optional<Facts> facts = FactsOf(*seen->lib, seen->object);
  if (!facts) return 1;
  seen->rows.push_back(facts->page_rows);
  seen->paged.push_back(facts->paged);
  return 0;
}

// Only 8.71 pages.
class CInterfacePagedFactsTest : public CInterfaceFixture {
 protected:
  void SetUp() override {
    CInterfaceFixture::SetUp();
    seen_.lib = &lib_;
    seen_.object = object_;
  }
  // `lines` stored lines in all, each of a period of its own.
  void Store(int lines) {
    std::string add;
    for (int i = 1; i <= lines; ++i) add += Line(std::to_string(i), "D01", std::to_string(i + 1));
    lib_.Reply(object_, nullptr, Root(R"(proc="ADD" docid="c")", add), db_.ConnectionText());
    ASSERT_EQ(std::stoi(db_.Rows("select count(*) from ca_mabsw")[0][0]), lines);
  }
  Facts Query(const std::string& paginate) {
    lib_.Reply(object_, nullptr,
               Root(R"(roottag="material" docid="q" proc="QUERY" paginate=")" + paginate + "\""),
               db_.ConnectionText());
    return *FactsOf(lib_, object_);
  }

  PageRows seen_;
};

TEST_P(CInterfacePagedFactsTest, EachPagesRowsAndTheRepliesAreCountedAsWritten) {
  Store(7);
  ASSERT_EQ(lib_.set_page_receiver(object_, ReceivePage, &seen_), 0);
  struct Case {
    std::string paginate;
    std::vector<int64_t> page_rows;
    int64_t reply_rows;  // the last page again when it is partial, else none
  };
  const std::vector<Case> cases = {
      {"2", {2, 2, 2, 1}, 1},          {"3", {3, 3, 1}, 1}, {"7", {7}, 0}, {"10", {7}, 7},
      {"1", {1, 1, 1, 1, 1, 1, 1}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("paginate=" + c.paginate);
    seen_.rows.clear();
    seen_.paged.clear();
    const Facts facts = Query(c.paginate);
    EXPECT_TRUE(facts.paged);
    EXPECT_EQ(seen_.rows, c.page_rows);
    EXPECT_EQ(seen_.paged, std::vector<bool>(c.page_rows.size(), true));
    EXPECT_EQ(facts.pages, static_cast<int64_t>(c.page_rows.size()));
    EXPECT_EQ(facts.rows, c.reply_rows);
    EXPECT_EQ(facts.page_rows, c.page_rows.back());
    EXPECT_FALSE(facts.code);
  }
}

TEST_P(CInterfacePagedFactsTest, AFullLastPageLeavesTheReplyWithoutRows) {
  Store(6);
  ASSERT_EQ(lib_.set_page_receiver(object_, ReceivePage, &seen_), 0);
  const Facts facts = Query("2");
  EXPECT_EQ(seen_.rows, (std::vector<int64_t>{2, 2, 2}));
  EXPECT_EQ(facts.rows, 0);
}

TEST_P(CInterfacePagedFactsTest, PagedWhenTheQuerysConversionGivesAPageSizeOfAtLeastOne) {
  Store(3);
  ASSERT_EQ(lib_.set_page_receiver(object_, ReceivePage, &seen_), 0);
  const std::vector<std::pair<std::string, bool>> table = {
      {"3", true},          {"1", true},       {"0", false},         {"-2", false},
      {"&amp;H2", true},    {"&amp;O3", true}, {"&amp;H0", false},   {" 2 ", true},
      {"&#9;2&#13;", true}, {"+5", true},      {"2E0", true},        {"0.6", true},
      {"0.4", false},       {"0.5", false},    {"1.5", true},        {"", false},
      {"abc", false},       {"2x", false},     {"2147483647", true}, {"2147483648", false},
      {"1e400", false},
  };
  for (const auto& [paginate, paged] : table) {
    const Facts facts = Query(paginate);
    EXPECT_EQ(facts.paged, paged) << "paginate=\"" << paginate << "\"";
    // Paged or not, the facts agree with what the call did.
    EXPECT_EQ(facts.pages > 0, paged) << "paginate=\"" << paginate << "\"";
  }
  // An ADD is never paged, whatever its root says.
  lib_.Reply(object_, nullptr, Root(R"(proc="ADD" docid="a" paginate="2")"), db_.ConnectionText());
  EXPECT_FALSE(FactsOf(lib_, object_)->paged);
}

TEST_P(CInterfacePagedFactsTest, WithoutARegisteredReceiverTheReplyCarriesEveryRow) {
  Store(5);
  const Facts facts = Query("2");
  EXPECT_FALSE(facts.paged);
  EXPECT_EQ(facts.pages, 0);
  EXPECT_EQ(facts.rows, 5);
}

INSTANTIATE_TEST_SUITE_P(Release871, CInterfacePagedFactsTest, ::testing::Values("8.71"));

}  // namespace
}  // namespace quillor::testing
