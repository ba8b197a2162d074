// The C interface as a host of another language meets it: each release library
// opened with dlopen, its functions found by name with the types of
// include/quillor/quillor.h alone, on a real host database.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "quillor/quillor.h"
#include "testing/built_tree.h"
#include "testing/test_db.h"
#include "tools/quillor/sample_data.h"

namespace quillor::testing {
namespace {

// One release library's C interface, found by name as ctypes or cgo find it.
struct CInterface {
  explicit CInterface(const std::string& release)
      : handle(dlopen(BuiltLibraryResolved(release).c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle) return;
    Find(api_version, "quillor_api_version");
    Find(release_of, "quillor_release");
    Find(create, "quillor_create");
    Find(destroy, "quillor_destroy");
    Find(set_page_receiver, "quillor_set_page_receiver");
    Find(call_create, "quillor_call_create");
    Find(call_destroy, "quillor_call_destroy");
    Find(set_request_bound, "quillor_call_set_request_bound");
    Find(request_stop, "quillor_request_stop");
    Find(transact, "quillor_transact");
    Find(free_text, "quillor_free");
  }
  ~CInterface() {
    if (handle) dlclose(handle);
  }
  CInterface(const CInterface&) = delete;
  CInterface& operator=(const CInterface&) = delete;

  template <typename F>
  void Find(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle, name));
    if (!function) missing.push_back(name);
  }

  // One call; the reply as text ("" when none), the status beside it.
  std::pair<int32_t, std::string> Transact(quillor_t* object, const quillor_call_t* call,
                                           const std::string& request,
                                           const std::string& connection) const {
    char* reply = nullptr;
    size_t length = 0;
    const int32_t status = transact(object, call, request.data(), request.size(), connection.data(),
                                    connection.size(), &reply, &length);
    std::string text = reply ? std::string(reply, length) : std::string();
    free_text(reply);
    return {status, text};
  }

  void* handle;
  std::vector<std::string> missing;
  decltype(&quillor_api_version) api_version = nullptr;
  decltype(&quillor_release) release_of = nullptr;
  decltype(&quillor_create) create = nullptr;
  decltype(&quillor_destroy) destroy = nullptr;
  decltype(&quillor_set_page_receiver) set_page_receiver = nullptr;
  decltype(&quillor_call_create) call_create = nullptr;
  decltype(&quillor_call_destroy) call_destroy = nullptr;
  decltype(&quillor_call_set_request_bound) set_request_bound = nullptr;
  decltype(&quillor_request_stop) request_stop = nullptr;
  decltype(&quillor_transact) transact = nullptr;
  decltype(&quillor_free) free_text = nullptr;
};

constexpr const char* kAdd = R"(<ufinterface roottag="material" docid="c" proc="ADD">
<material id="1"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M01</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity><period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>
<material id="2"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M02</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity><period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>
</ufinterface>)";

class CInterfaceTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    ASSERT_NE(lib_.handle, nullptr) << dlerror();
    ASSERT_TRUE(lib_.missing.empty()) << lib_.missing.front();
    InsertSampleData(db_.conn());
    object_ = lib_.create();
    ASSERT_NE(object_, nullptr);
  }
  void TearDown() override {
    if (object_) lib_.destroy(object_);
  }
  int64_t Lines() { return std::stoll(db_.Rows("select count(*) from ca_mabsw")[0][0]); }

  CInterface lib_{GetParam()};
  TestDb db_;
  quillor_t* object_ = nullptr;
};

TEST_P(CInterfaceTest, AnAddWritesItsLinesAndRepliesAsTheComponentDoes) {
  EXPECT_EQ(lib_.api_version(), QUILLOR_C_API_VERSION);
  EXPECT_STREQ(lib_.release_of(), GetParam());
  const int64_t before = Lines();
  const auto [status, reply] = lib_.Transact(object_, nullptr, kAdd, db_.ConnectionText());
  EXPECT_EQ(status, 0);
  EXPECT_NE(reply.find(R"(<item id="1" code="0")"), std::string::npos) << reply;
  EXPECT_NE(reply.find(R"(<item id="2" code="0")"), std::string::npos) << reply;
  EXPECT_EQ(Lines(), before + 2);
}

TEST_P(CInterfaceTest, AStopAskedBeforeTheCallAnswersNoLineAndWritesNone) {
  std::unique_ptr<quillor_call_t, decltype(lib_.call_destroy)> call(lib_.call_create(),
                                                                    lib_.call_destroy);
  lib_.request_stop(call.get());
  const int64_t before = Lines();
  const auto [status, reply] = lib_.Transact(object_, call.get(), kAdd, db_.ConnectionText());
  EXPECT_EQ(reply.find("<item"), std::string::npos) << reply;
  EXPECT_EQ(Lines(), before);
}

TEST_P(CInterfaceTest, TheCallsRequestBoundOutweighsTheConnectionTexts) {
  std::unique_ptr<quillor_call_t, decltype(lib_.call_destroy)> call(lib_.call_create(),
                                                                    lib_.call_destroy);
  lib_.set_request_bound(call.get(), 64);
  const int64_t before = Lines();
  const auto [status, reply] =
      lib_.Transact(object_, call.get(), kAdd, db_.ConnectionText() + ";Max Request Size=1000000");
  EXPECT_EQ(reply.find("<item"), std::string::npos) << reply;
  EXPECT_NE(reply.find("code=\""), std::string::npos) << reply;  // a failure reply, no lines
  EXPECT_EQ(Lines(), before);
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

INSTANTIATE_TEST_SUITE_P(EveryRelease, CInterfaceTest, ::testing::Values("8.71", "8.61", "8.50"));

// Pages as a host receives them: in order, with the count, and the numbers the
// receiver leaves are the ones paging goes on with.
struct Received {
  std::vector<std::array<int32_t, 2>> pages;  // number and count as handed over
  int32_t renumber_from = 0;                  // when set, page 1 is told to be this
  bool refuse = false;
};

int32_t Receive(void* state, const char* page, size_t length, int32_t* number, int32_t* count) {
  auto* received = static_cast<Received*>(state);
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

  CInterface lib_{"8.71"};
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

TEST(CInterfaceReleases, TheReleaseWithoutCallerRegistrationRefusesAReceiver) {
  CInterface lib("8.50");
  ASSERT_NE(lib.handle, nullptr);
  quillor_t* object = lib.create();
  EXPECT_LT(lib.set_page_receiver(object, Receive, nullptr), 0);
  lib.destroy(object);
}

// What each library exports is the documented list and nothing else: a host
// that finds a symbol today finds it in every later build of this version.
TEST(CInterfaceReleases, EachLibraryExportsTheDocumentedFunctionsAlone) {
  const std::set<std::string> documented{"DllCanUnloadNow",      "DllGetClassObject",
                                         "DllRegisterServer",    "DllUnregisterServer",
                                         "QuillorPoolStats",     "QuillorRelease",
                                         "quillor_api_version",  "quillor_call_create",
                                         "quillor_call_destroy", "quillor_call_set_request_bound",
                                         "quillor_create",       "quillor_destroy",
                                         "quillor_free",         "quillor_release",
                                         "quillor_request_stop", "quillor_set_page_receiver",
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
