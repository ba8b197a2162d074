// The C interface as a host of another language meets it: each release library
// opened with dlopen, its functions found by name with the types of
// include/quillor/quillor.h alone, on a real host database.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quillor/quillor.h"
#include "schema/sample_data.h"
#include "testing/c_interface_fixture.h"
#include "testing/c_interface_library.h"
#include "testing/test_db.h"

namespace quillor::testing {
namespace {

constexpr const char* kAdd = R"(<ufinterface roottag="material" docid="c" proc="ADD">
<material id="1"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M01</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity><period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>
<material id="2"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M02</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity><period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>
</ufinterface>)";

class CInterfaceTest : public CInterfaceFixture {};

TEST_P(CInterfaceTest, AnAddWritesItsLinesAndRepliesAsTheComponentDoes) {
  EXPECT_EQ(lib_.api_version(), QUILLOR_C_API_VERSION);
  EXPECT_STREQ(lib_.release_of(), GetParam());
  const int64_t before = StoredLines();
  const auto [status, reply] = lib_.Transact(object_, nullptr, kAdd, db_.ConnectionText());
  EXPECT_EQ(status, 0);
  EXPECT_NE(reply.find(R"(<item id="1" code="0")"), std::string::npos) << reply;
  EXPECT_NE(reply.find(R"(<item id="2" code="0")"), std::string::npos) << reply;
  EXPECT_EQ(StoredLines(), before + 2);
}

TEST_P(CInterfaceTest, AStopAskedBeforeTheCallAnswersNoLineAndWritesNone) {
  std::unique_ptr<quillor_call_t, decltype(lib_.call_destroy)> call(lib_.call_create(),
                                                                    lib_.call_destroy);
  lib_.request_stop(call.get());
  const int64_t before = StoredLines();
  const auto [status, reply] = lib_.Transact(object_, call.get(), kAdd, db_.ConnectionText());
  EXPECT_EQ(reply.find("<item"), std::string::npos) << reply;
  EXPECT_EQ(StoredLines(), before);
}

TEST_P(CInterfaceTest, TheCallsRequestBoundOutweighsTheConnectionTexts) {
  std::unique_ptr<quillor_call_t, decltype(lib_.call_destroy)> call(lib_.call_create(),
                                                                    lib_.call_destroy);
  lib_.set_request_bound(call.get(), 64);
  const int64_t before = StoredLines();
  const auto [status, reply] =
      lib_.Transact(object_, call.get(), kAdd, db_.ConnectionText() + ";Max Request Size=1000000");
  EXPECT_EQ(reply.find("<item"), std::string::npos) << reply;
  EXPECT_NE(reply.find("code=\""), std::string::npos) << reply;  // a failure reply, no lines
  EXPECT_EQ(StoredLines(), before);
}

TEST_P(CInterfaceTest, BadArgumentsAreAStatusNotACrash) {
  char* reply = reinterpret_cast<char*>(1);
  size_t length = 7;
  EXPECT_LT(lib_.transact(nullptr, nullptr, "x", 1, "", 0, &reply, &length), 0);
  EXPECT_EQ(reply, nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_LT(lib_.transact(object_, nullptr, nullptr, 5, "", 0, &reply, &length), 0);
  EXPECT_LT(lib_.transact(object_, nullptr, "x", 1, "", 0, nullptr, &length), 0);
  EXPECT_LT(lib_.set_page_receiver(nullptr, nullptr, nullptr), 0);
  // A request that is no XML is the component's own failure reply, never a crash.
  const auto [status, text] = lib_.Transact(object_, nullptr, std::string("<a\0b", 4), "");
  EXPECT_NE(text.find("<reply"), std::string::npos) << text;
}

// One line of an ADD with the fields given over the stored line's.
std::string AddLine(const std::string& id, const std::string& department, const std::string& period,
                    const std::string& inventory = "M01") {
  return "<material id=\"" + id + "\"><departmentno>" + department +
         "</departmentno><productno>P100</productno><inventoryno>" + inventory +
         "</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity><period>" +
         period + "</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>";
}
std::string AddOf(const std::string& lines) {
  return R"(<ufinterface roottag="material" docid="c" proc="ADD">)" + lines + "</ufinterface>";
}

// What an item receiver was handed, copied while it was valid.
struct Item {
  std::optional<std::string> id;  // none: the call's own outcome
  int32_t code;
  std::string message;
  std::string reason;
  std::string state;
};

void ReceiveItem(void* state, const quillor_item_t* item) {
  static_cast<std::vector<Item>*>(state)->push_back(
      {item->id ? std::optional<std::string>(item->id) : std::nullopt, item->code, item->message,
       item->reason, item->state});
}

void ReceiveTrace(void* state, const char* line, size_t length) {
  static_cast<std::vector<std::string>*>(state)->emplace_back(line, length);
}

using CallPtr = std::unique_ptr<quillor_call_t, void (*)(quillor_call_t*)>;

struct ItemCase {
  const char* name;
  std::string request;
  std::string connection_suffix;  // "-" for no connection text at all, "DSN" for an unknown one
  std::vector<Item> expected;     // the message is held to the reply's, not written here
};

TEST_P(CInterfaceTest, TheItemReceiverGetsEachLinesOutcomeAsValues) {
  const std::vector<ItemCase> cases = {
      {"a stored line", AddOf(AddLine("1", "D01", "5")), "", {{"1", 0, "", "", ""}}},
      {"a write refused before any statement",
       AddOf(AddLine("7", "D01", "2.5")),
       "",
       {{"7", 100, "", "period 2.5 is not a whole number", ""}}},
      {"a line validation refuses, then a stored one",
       AddOf(AddLine("a", "D09", "5") + AddLine("b", "D01", "6", "M02")),
       "",
       {{"a", 101, "", "", ""}, {"b", 0, "", "", ""}}},
      {"no connection text", AddOf(AddLine("1", "D01", "5")), "-", {{std::nullopt, 0, "", "", ""}}},
      {"a data source the driver manager does not know",
       AddOf(AddLine("1", "D01", "5")),
       "DSN",
       {{std::nullopt, 0, "", "", "IM002"}}},
  };
  for (const ItemCase& c : cases) {
    SCOPED_TRACE(c.name);
    CallPtr call(lib_.call_create(), lib_.call_destroy);
    std::vector<Item> items;
    lib_.set_item_receiver(call.get(), ReceiveItem, &items);
    const std::string connection = c.connection_suffix == "-"     ? std::string()
                                   : c.connection_suffix == "DSN" ? "DSN=quillor_no_such_source"
                                                                  : db_.ConnectionText();
    const auto [status, reply] = lib_.Transact(object_, call.get(), c.request, connection);
    ASSERT_EQ(items.size(), c.expected.size()) << reply;
    for (size_t i = 0; i < items.size(); ++i) {
      EXPECT_EQ(items[i].id, c.expected[i].id);
      EXPECT_EQ(items[i].reason, c.expected[i].reason);
      EXPECT_EQ(items[i].state, c.expected[i].state);
      // Code and message are the reply's own, never a second wording.
      const std::string code = "code=\"" + std::to_string(items[i].code) + "\"";
      EXPECT_NE(reply.find(code), std::string::npos) << reply;
      EXPECT_NE(reply.find(items[i].message), std::string::npos) << items[i].message;
      if (items[i].id) {
        EXPECT_EQ(items[i].code, c.expected[i].code);
        EXPECT_NE(reply.find("<item id=\"" + *items[i].id + "\" " + code), std::string::npos)
            << reply;
      } else {
        EXPECT_NE(items[i].code, 0);
        EXPECT_FALSE(items[i].message.empty());
      }
    }
  }
}

TEST_P(CInterfaceTest, TheTraceReceiverGetsEachStatementWithNoEnvironment) {
  // A file named in the environment is for COM hosts: a call of this interface
  // leaves it untouched.
  const std::filesystem::path env_trace = db_.dir() / "env-trace.jsonl";
  setenv("QUILLOR_TRACE_SQL", env_trace.c_str(), 1);
  CallPtr call(lib_.call_create(), lib_.call_destroy);
  std::vector<std::string> lines;
  lib_.set_trace_receiver(call.get(), ReceiveTrace, &lines);
  lib_.Transact(object_, call.get(), kAdd, db_.ConnectionText());
  unsetenv("QUILLOR_TRACE_SQL");
  EXPECT_FALSE(std::filesystem::exists(env_trace));
  int inserts = 0;
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind("{\"sql\": ", 0), 0u) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    if (line.find("insert ca_mabsw") != std::string::npos) ++inserts;
  }
  EXPECT_EQ(inserts, 2);
  // Taken away, the next call is traced nowhere.
  lib_.set_trace_receiver(call.get(), nullptr, nullptr);
  lines.clear();
  lib_.Transact(object_, call.get(), kAdd, db_.ConnectionText());
  EXPECT_TRUE(lines.empty());
}

TEST_P(CInterfaceTest, TwoThreadsWithTwoReceiversEachGetOnlyTheirOwnStatements) {
  // Each thread its own object (an object answers its own thread alone), its
  // own call, and lines of its own inventory code to tell its statements by.
  const std::string connection = db_.ConnectionText();
  auto run = [&](const std::string& inventory, std::vector<std::string>* lines) {
    quillor_t* object = lib_.create();
    CallPtr call(lib_.call_create(), lib_.call_destroy);
    lib_.set_trace_receiver(call.get(), ReceiveTrace, lines);
    for (int i = 0; i < 10; ++i) {
      lib_.Transact(object, call.get(),
                    AddOf(AddLine(std::to_string(i), "D01", std::to_string(i + 1), inventory)),
                    connection);
    }
    lib_.destroy(object);
  };
  std::vector<std::string> first, second;
  std::thread a(run, "M02", &first);
  std::thread b(run, "M03", &second);
  a.join();
  b.join();
  auto writes = [](const std::vector<std::string>& lines, const std::string& inventory) {
    int mine = 0, others = 0;
    for (const std::string& line : lines) {
      if (line.find("insert ca_mabsw") == std::string::npos) continue;
      (line.find("'" + inventory + "'") != std::string::npos ? mine : others)++;
    }
    return std::make_pair(mine, others);
  };
  // Every write a receiver saw is its own thread's (a line a release refuses
  // sends none), and each saw its own.
  const auto [first_own, first_other] = writes(first, "M02");
  const auto [second_own, second_other] = writes(second, "M03");
  EXPECT_GE(first_own, 5);
  EXPECT_GE(second_own, 5);
  EXPECT_EQ(first_other, 0);
  EXPECT_EQ(second_other, 0);
}

TEST_P(CInterfaceTest, ThePoolCountsAreTheLibrarysOwn) {
  quillor_pool_counts_t before{};
  ASSERT_EQ(lib_.pool_counts(&before), 0);
  lib_.Transact(object_, nullptr, kAdd, db_.ConnectionText());
  quillor_pool_counts_t after{};
  ASSERT_EQ(lib_.pool_counts(&after), 0);
  EXPECT_EQ(after.busy, 0u);
  EXPECT_EQ(after.opened + after.reused, before.opened + before.reused + 1);
  EXPECT_LT(lib_.pool_counts(nullptr), 0);
}

TEST_P(CInterfaceTest, TheDatabaseCheckSaysWhetherTheDatabaseAnswersAndWhyNot) {
  const std::string good = db_.ConnectionText();
  EXPECT_EQ(lib_.check_database(good.data(), good.size(), nullptr, nullptr), 0);
  const std::string bad = "DSN=quillor_no_such_source";
  char* failure = nullptr;
  size_t length = 0;
  EXPECT_LT(lib_.check_database(bad.data(), bad.size(), &failure, &length), 0);
  ASSERT_NE(failure, nullptr);
  EXPECT_NE(std::string(failure, length).find("Data source name not found"), std::string::npos)
      << failure;
  lib_.free_text(failure);
}

// Replies held at once stay whole while the host holds them, whatever calls come
// after, and are freed by any thread, in any order, beside the interface's other
// texts, without a double or a foreign free.
TEST_P(CInterfaceTest, RepliesHeldAtOnceStayWholeAndAreFreedFromAnyThread) {
  constexpr int kThreads = 4;
  constexpr int kCalls = 20;
  std::vector<std::vector<std::pair<char*, std::string>>> held(kThreads);
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      quillor_t* object = lib_.create();
      for (int i = 0; i < kCalls; ++i) {
        // A refused request needs no database: its reply is the component's own.
        const std::string request = i % 2 ? std::string("<a>") + std::to_string(i) : std::string();
        char* reply = nullptr;
        size_t length = 0;
        lib_.transact(object, nullptr, request.data(), request.size(), "", 0, &reply, &length);
        ASSERT_NE(reply, nullptr);
        ASSERT_EQ(reply[length], '\0');
        held[t].emplace_back(reply, std::string(reply, length));
      }
      lib_.destroy(object);
    });
  }
  for (std::thread& caller : callers) caller.join();
  // A copied text between them: the failure of a database that cannot be opened.
  char* failure = nullptr;
  size_t failure_length = 0;
  const std::string unopened = "Provider=SQLite;Data Source=/nonexistent/dir/x.db";
  EXPECT_LT(lib_.check_database(unopened.data(), unopened.size(), &failure, &failure_length), 0);
  ASSERT_NE(failure, nullptr);
  // Each thread frees another thread's replies, the last held first.
  std::vector<std::thread> freers;
  for (int t = 0; t < kThreads; ++t) {
    freers.emplace_back([&, t] {
      auto& mine = held[(t + 1) % kThreads];
      for (auto it = mine.rbegin(); it != mine.rend(); ++it) {
        EXPECT_EQ(std::string(it->first, it->second.size()), it->second);
        lib_.free_text(it->first);
      }
    });
  }
  for (std::thread& freer : freers) freer.join();
  lib_.free_text(failure);
  lib_.free_text(nullptr);
}

INSTANTIATE_TEST_SUITE_P(EveryRelease, CInterfaceTest, ::testing::Values("8.71", "8.61", "8.50"));

// Pages as a host receives them: in order, with the count, and the numbers the
// receiver leaves are the ones paging goes on with.
struct Received {
  std::vector<std::array<int32_t, 2>> pages;  // number and count as handed over
  int32_t renumber_from = 0;                  // when set, page 1 is told to be this
  bool refuse = false;
  // When set, the words a refusal gives, through this function of the library.
  decltype(&quillor_set_page_refusal) refusal = nullptr;
  quillor_t* object = nullptr;
};

int32_t Receive(void* state, const char* page, size_t length, int32_t* number, int32_t* count) {
  auto* received = static_cast<Received*>(state);
  if (received->refusal) {
    const std::string why = "cannot write page-" + std::to_string(*number) + ".xml: disk full";
    received->refusal(received->object, why.data(), why.size());
  }
  if (received->refuse) return 1;
  if (std::string(page, length).find("<material") == std::string::npos) return 2;
  received->pages.push_back({*number, *count});
  if (received->renumber_from && *number == 1) *number = received->renumber_from;
  return 0;
}

class CInterfacePagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(lib_.handle, nullptr) << dlerror();
    ASSERT_TRUE(lib_.missing.empty());
    InsertSampleData(db_.conn());
    object_ = lib_.create();
    // Seven lines of periods of their own: a line of the same key replaces its row.
    std::string add = R"(<ufinterface roottag="material" docid="c" proc="ADD">)";
    for (int i = 1; i <= 7; ++i) {
      add += "<material id=\"" + std::to_string(i) +
             "\"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M01"
             "</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity><period>" +
             std::to_string(i + 1) +
             "</period><totalmoney>6"
             "</totalmoney><irdcode>0</irdcode></material>";
    }
    lib_.Transact(object_, nullptr, add + "</ufinterface>", db_.ConnectionText());
  }
  void TearDown() override { lib_.destroy(object_); }
  std::string Query() {
    return lib_
        .Transact(object_, nullptr,
                  R"(<ufinterface roottag="material" docid="q" proc="QUERY" paginate="2"/>)",
                  db_.ConnectionText())
        .second;
  }

  CInterfaceLibrary lib_{"8.71"};
  TestDb db_;
  quillor_t* object_ = nullptr;
};

TEST_F(CInterfacePagesTest, EveryPageReachesTheReceiverWithItsNumberAndCount) {
  const auto rows = std::stoi(db_.Rows("select count(*) from ca_mabsw")[0][0]);
  ASSERT_GE(rows, 6);
  const int32_t count = (rows + 1) / 2;
  Received received;
  ASSERT_EQ(lib_.set_page_receiver(object_, Receive, &received), 0);
  Query();
  ASSERT_EQ(received.pages.size(), static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    EXPECT_EQ(received.pages[static_cast<size_t>(i)][0], i + 1);
    EXPECT_EQ(received.pages[static_cast<size_t>(i)][1], count);
  }
  // Taken away, no page comes.
  ASSERT_EQ(lib_.set_page_receiver(object_, nullptr, nullptr), 0);
  received.pages.clear();
  Query();
  EXPECT_TRUE(received.pages.empty());
}

TEST_F(CInterfacePagesTest, TheNumbersTheReceiverLeavesAreThoseThePagingGoesOnWith) {
  Received received;
  received.renumber_from = 40;
  ASSERT_EQ(lib_.set_page_receiver(object_, Receive, &received), 0);
  Query();
  ASSERT_GE(received.pages.size(), 2u);
  EXPECT_EQ(received.pages[1][0], 41);
}

TEST_F(CInterfacePagesTest, AReceiverThatRefusesAPageFailsTheCall) {
  Received received;
  received.refuse = true;
  ASSERT_EQ(lib_.set_page_receiver(object_, Receive, &received), 0);
  const std::string reply = Query();
  EXPECT_EQ(reply.find("<material"), std::string::npos) << reply;
  EXPECT_NE(reply.find("refused page 1"), std::string::npos) << reply;
}

TEST_F(CInterfacePagesTest, ARefusingReceiverMayGiveTheFailureItsOwnWords) {
  Received received;
  received.refuse = true;
  received.refusal = lib_.set_page_refusal;
  received.object = object_;
  ASSERT_EQ(lib_.set_page_receiver(object_, Receive, &received), 0);
  std::string reply = Query();
  EXPECT_NE(reply.find("[Quillor] cannot write page-1.xml: disk full"), std::string::npos) << reply;
  EXPECT_EQ(reply.find("refused page"), std::string::npos) << reply;
  // Words given on a page that was taken are not the next refusal's.
  received.refuse = false;
  Query();
  received.refusal = nullptr;
  received.refuse = true;
  reply = Query();
  EXPECT_NE(reply.find("refused page 1"), std::string::npos) << reply;
}

TEST(CInterfaceReleases, TheReleasesWithoutCallerRegistrationRefuseAReceiver) {
  for (const char* release : {"8.61", "8.50"}) {
    CInterfaceLibrary lib(release);
    ASSERT_NE(lib.handle, nullptr) << release;
    quillor_t* object = lib.create();
    EXPECT_LT(lib.set_page_receiver(object, Receive, nullptr), 0) << release;
    lib.destroy(object);
  }
}

// What each library exports is the documented list and nothing else: a host
// that finds a symbol today finds it in every later build of this version.
TEST(CInterfaceReleases, EachLibraryExportsTheDocumentedFunctionsAlone) {
  const std::set<std::string> documented{"DllCanUnloadNow",
                                         "DllGetClassObject",
                                         "DllRegisterServer",
                                         "DllUnregisterServer",
                                         "QuillorPoolStats",
                                         "QuillorRelease",
                                         "quillor_api_version",
                                         "quillor_call_create",
                                         "quillor_call_destroy",
                                         "quillor_call_set_request_bound",
                                         "quillor_call_set_item_receiver",
                                         "quillor_call_set_trace_receiver",
                                         "quillor_call_set_read_receiver",
                                         "quillor_facts",
                                         "quillor_pool_counts",
                                         "quillor_check_database",
                                         "quillor_set_page_refusal",
                                         "quillor_create",
                                         "quillor_destroy",
                                         "quillor_free",
                                         "quillor_init_database",
                                         "quillor_connection_facts",
                                         "quillor_connection_facts_free",
                                         "quillor_oversized_note",
                                         "quillor_gloss_message",
                                         "quillor_gloss_item",
                                         "quillor_gloss_reply",
                                         "quillor_identity",
                                         "quillor_register",
                                         "quillor_registered_library",
                                         "quillor_registry_file",
                                         "quillor_registry_problem",
                                         "quillor_release",
                                         "quillor_request_stop",
                                         "quillor_set_page_receiver",
                                         "quillor_transact"};
  for (const char* release : {"8.71", "8.61", "8.50"}) {
    const std::string command = "nm -D --defined-only '" + BuiltLibraryResolved(release) + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> nm(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(nm);
    std::set<std::string> exported;
    std::array<char, 4096> line{};
    while (fgets(line.data(), line.size(), nm.get())) {
      std::string text(line.data());
      const size_t last = text.find_last_of(' ');
      std::string name = text.substr(last + 1);
      while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
      // The version node the script names is the linker's, not a function.
      if (!name.empty() && text.find(" A ") == std::string::npos) exported.insert(name);
    }
    EXPECT_EQ(exported, documented) << release;
  }
}

}  // namespace
}  // namespace quillor::testing
