// The C interface of the Windows DLLs as a host meets it that loads a DLL by name
// and finds its functions with GetProcAddress: an ADD and a paged QUERY on the
// 8.71 DLL against $QUILLOR_TEST_PG_CONNECTION (an ODBC text, the host tables and
// the sample rows made), and the releases without caller registration refusing
// a page receiver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/com/windows/windows_api.h"
#include "quillor/quillor.h"

namespace quillor::win {
namespace {

std::string ConnectionText() {
  const char* text = std::getenv("QUILLOR_TEST_PG_CONNECTION");
  return text != nullptr ? text : "";
}

// One release's DLL, found beside the test program.
class ReleaseDll {
 public:
  explicit ReleaseDll(const wchar_t* name) : module_(LoadLibraryW(name)) {}
  ~ReleaseDll() {
    if (module_) FreeLibrary(module_);
  }
  ReleaseDll(const ReleaseDll&) = delete;
  ReleaseDll& operator=(const ReleaseDll&) = delete;

  bool loaded() const { return module_ != nullptr; }
  template <typename F>
  F Find(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

// The functions these tests call, each found by name.
struct Functions {
  explicit Functions(const ReleaseDll& dll)
      : api_version(dll.Find<decltype(&quillor_api_version)>("quillor_api_version")),
        release(dll.Find<decltype(&quillor_release)>("quillor_release")),
        create(dll.Find<decltype(&quillor_create)>("quillor_create")),
        destroy(dll.Find<decltype(&quillor_destroy)>("quillor_destroy")),
        set_page_receiver(
            dll.Find<decltype(&quillor_set_page_receiver)>("quillor_set_page_receiver")),
        call_create(dll.Find<decltype(&quillor_call_create)>("quillor_call_create")),
        call_destroy(dll.Find<decltype(&quillor_call_destroy)>("quillor_call_destroy")),
        set_item_receiver(
            dll.Find<decltype(&quillor_call_set_item_receiver)>("quillor_call_set_item_receiver")),
        transact(dll.Find<decltype(&quillor_transact)>("quillor_transact")),
        free_text(dll.Find<decltype(&quillor_free)>("quillor_free")) {}

  bool complete() const {
    return api_version && release && create && destroy && set_page_receiver && call_create &&
           call_destroy && set_item_receiver && transact && free_text;
  }
  // One call's reply as text; the status beside it.
  std::pair<int32_t, std::string> Transact(quillor_t* object, const quillor_call_t* call,
                                           const std::string& request) const {
    const std::string connection = ConnectionText();
    char* reply = nullptr;
    size_t length = 0;
    const int32_t status = transact(object, call, request.data(), request.size(), connection.data(),
                                    connection.size(), &reply, &length);
    std::string text;
    if (reply) {
      EXPECT_EQ(reply[length], '\0');
      text.assign(reply, length);
    }
    free_text(reply);
    return {status, text};
  }

  decltype(&quillor_api_version) api_version;
  decltype(&quillor_release) release;
  decltype(&quillor_create) create;
  decltype(&quillor_destroy) destroy;
  decltype(&quillor_set_page_receiver) set_page_receiver;
  decltype(&quillor_call_create) call_create;
  decltype(&quillor_call_destroy) call_destroy;
  decltype(&quillor_call_set_item_receiver) set_item_receiver;
  decltype(&quillor_transact) transact;
  decltype(&quillor_free) free_text;
};

int32_t KeepPage(void* state, const char* page, size_t length, int32_t*, int32_t*) {
  static_cast<std::vector<std::string>*>(state)->emplace_back(page, length);
  return 0;
}

void KeepCode(void* state, const quillor_item_t* item) {
  if (item->id) static_cast<std::vector<int32_t>*>(state)->push_back(item->code);
}

const char* const kAdd =
    R"(<ufinterface roottag="material" docid="cwin" proc="ADD">)"
    R"(<material id="w1"><departmentno>D01</departmentno><productno>P100</productno>)"
    R"(<inventoryno>M01</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity>)"
    R"(<period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>)"
    R"(</ufinterface>)";

const char* const kPagedQuery =
    R"(<ufinterface roottag="material" docid="qwin" proc="QUERY" paginate="1">)"
    R"(<material><field name="cDeptID" operation="=" value="D01"/></material></ufinterface>)";

TEST(WindowsCInterface, AnAddAndAPagedQueryThroughTheDllsOwnFunctions) {
  ReleaseDll dll(L"quillor-8.71.dll");
  ASSERT_TRUE(dll.loaded());
  const Functions f(dll);
  ASSERT_TRUE(f.complete());
  EXPECT_EQ(f.api_version(), QUILLOR_C_API_VERSION);
  EXPECT_STREQ(f.release(), "8.71");
  ASSERT_FALSE(ConnectionText().empty()) << "QUILLOR_TEST_PG_CONNECTION is not set";

  quillor_t* object = f.create();
  ASSERT_NE(object, nullptr);
  quillor_call_t* call = f.call_create();
  std::vector<int32_t> codes;
  f.set_item_receiver(call, KeepCode, &codes);
  const auto [status, reply] = f.Transact(object, call, kAdd);
  f.call_destroy(call);
  EXPECT_EQ(status, 0) << reply;
  EXPECT_EQ(codes, std::vector<int32_t>{0}) << reply;
  EXPECT_NE(reply.find(R"(<item id="w1" code="0")"), std::string::npos) << reply;

  std::vector<std::string> pages;
  ASSERT_EQ(f.set_page_receiver(object, KeepPage, &pages), 0);
  const auto [query_status, query_reply] = f.Transact(object, nullptr, kPagedQuery);
  EXPECT_EQ(query_status, 0) << query_reply;
  ASSERT_FALSE(pages.empty()) << query_reply;
  for (const std::string& page : pages) {
    EXPECT_NE(page.find("<departmentno>D01</departmentno>"), std::string::npos) << page;
  }
  f.destroy(object);
}

TEST(WindowsCInterface, ReleasesWithoutCallerRegistrationRefuseAPageReceiver) {
  for (const wchar_t* name : {L"quillor-8.61.dll", L"quillor-8.50.dll"}) {
    ReleaseDll dll(name);
    ASSERT_TRUE(dll.loaded());
    const Functions f(dll);
    ASSERT_TRUE(f.complete());
    quillor_t* object = f.create();
    ASSERT_NE(object, nullptr);
    std::vector<std::string> pages;
    EXPECT_LT(f.set_page_receiver(object, KeepPage, &pages), 0);
    f.destroy(object);
  }
}

}  // namespace
}  // namespace quillor::win
