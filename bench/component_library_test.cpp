// The bench's loader on the libraries this build made: what it refuses to load,
// and the calls, traces, pages and texts it hands through.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/component_library.h"

namespace quillor::bench {
namespace {

namespace fs = std::filesystem;

std::string Built(const std::string& release) {
  return std::string(QUILLOR_BUILD_DIR) + "/lib/" + release + "/libquillor.so";
}

// The words of the failure `load` throws, or "" when it throws none.
template <typename Load>
std::string FailureOf(Load&& load) {
  try {
    load();
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
  return "";
}

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/quillor-bench-test-XXXXXX";
    if (mkdtemp(name) != nullptr) path_ = name;
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(ComponentLibraryTest, RefusesWhatIsNotTheReleaseAskedFor) {
  TempFolder temp;
  const fs::path text_file = temp.path() / "libquillor.so";
  std::ofstream(text_file) << "not a library\n";
  struct Case {
    const char* what;
    std::string path;
    const char* release;
    std::string words;
  };
  const std::vector<Case> cases = {
      {"no such file", (temp.path() / "missing.so").string(), "8.71", "cannot be loaded"},
      {"a text file", text_file.string(), "8.71", "cannot be loaded"},
      {"another release", Built("8.61"), "8.71", "serves release 8.61, not 8.71"},
      {"another release, older", Built("8.71"), "8.50", "serves release 8.71, not 8.50"},
  };
  for (const Case& c : cases) {
    const std::string failure = FailureOf([&] { ComponentLibrary::Load(c.path, c.release); });
    EXPECT_NE(failure.find(c.path), std::string::npos) << c.what << ": " << failure;
    EXPECT_NE(failure.find(c.words), std::string::npos) << c.what << ": " << failure;
  }
  EXPECT_EQ(FailureOf([] { ComponentLibrary::Load(Built("8.71"), "8.71"); }), "");
}

// A host database made by the library, with `rows` stored lines and the master
// rows they name, written through SQLite's own API.
class LoadedReleaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = ComponentLibrary::Load(Built("8.71"), "8.71");
    db_ = temp_.path() / "host.db";
    connection_ = "Provider=SQLite;Data Source=" + db_.string();
  }

  void StoreRows(int rows) {
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open(db_.c_str(), &handle), SQLITE_OK);
    std::string sql =
        "insert into ca_depDf values('D01',1);"
        "insert into caq_coreal(iRealCOID,cDeptID,InvCode) values(1001,'D01','P100');";
    for (int i = 0; i < rows; ++i) {
      sql += "insert into ca_mabsw values('D01','1001','M" + std::to_string(i) +
             "','B1',2.5,3,5,7.5,0);";
    }
    EXPECT_EQ(sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(handle);
    sqlite3_close(handle);
  }

  static std::string Query(int page_size) {
    return R"(<ufinterface roottag="material" docid="q" proc="QUERY" paginate=")" +
           std::to_string(page_size) + R"("/>)";
  }

  static size_t Rows(std::string_view text) {
    size_t n = 0;
    for (size_t at = text.find("<material "); at != std::string_view::npos;
         at = text.find("<material ", at + 1)) {
      ++n;
    }
    return n;
  }

  TempFolder temp_;
  std::shared_ptr<const ComponentLibrary> library_;
  fs::path db_;
  std::string connection_;
};

TEST_F(LoadedReleaseTest, MakesTheHostDatabaseOnceAndSaysWhyItCannot) {
  const std::string first = library_->InitDatabase(connection_);
  EXPECT_NE(first.find("database file " + db_.string()), std::string::npos) << first;
  EXPECT_NE(first.find("host tables created"), std::string::npos) << first;
  EXPECT_NE(library_->InitDatabase(connection_).find("host tables already present"),
            std::string::npos);

  const std::string nowhere =
      "Provider=SQLite;Data Source=" + (temp_.path() / "no-folder" / "host.db").string();
  const std::string failure = FailureOf([&] { library_->InitDatabase(nowhere); });
  EXPECT_NE(failure.find("the host database was not made ready: "), std::string::npos) << failure;
  EXPECT_GT(failure.size(), std::string("the host database was not made ready: ").size());
}

TEST_F(LoadedReleaseTest, HandsTheTraceAndTheReplyThrough) {
  library_->InitDatabase(connection_);
  StoreRows(3);
  ComponentObject object(library_);
  std::vector<std::string> lines;
  const CallReply traced = object.Transact(
      Query(0), connection_, [&](std::string_view line) { lines.emplace_back(line); });
  EXPECT_EQ(traced.status, 0);
  EXPECT_EQ(Rows(traced.text.view()), 3u) << traced.text.view();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("from ca_mabsw"), std::string::npos) << lines.back();

  // A receiver that throws stops nothing: the call answers as before.
  const CallReply throwing = object.Transact(Query(0), connection_, [](std::string_view) {
    throw std::runtime_error("the receiver fails");
  });
  EXPECT_EQ(throwing.status, 0);
  EXPECT_EQ(throwing.text.view(), traced.text.view());

  // A call without a connection text still hands back the component's reply.
  const CallReply refused = object.Transact(Query(0), "");
  EXPECT_NE(refused.text.view().find("529"), std::string::npos) << refused.text.view();
}

TEST_F(LoadedReleaseTest, PagesGoToTheReceiverUntilItIsTakenAway) {
  library_->InitDatabase(connection_);
  StoreRows(5);
  ComponentObject object(library_);
  std::vector<size_t> page_rows;
  ASSERT_EQ(object.SetPageReceiver([&](std::string_view page) { page_rows.push_back(Rows(page)); }),
            0);
  const CallReply paged = object.Transact(Query(2), connection_);
  EXPECT_EQ(paged.status, 0);
  EXPECT_EQ(page_rows, (std::vector<size_t>{2, 2, 1}));

  // Taken away, the receiver hears of no further page (the library drops them).
  ASSERT_EQ(object.SetPageReceiver({}), 0);
  EXPECT_EQ(object.Transact(Query(2), connection_).status, 0);
  EXPECT_EQ(page_rows.size(), 3u);

  // An object that never had one answers every row in its reply.
  ComponentObject unpaged(library_);
  EXPECT_EQ(Rows(unpaged.Transact(Query(2), connection_).text.view()), 5u);
}

TEST_F(LoadedReleaseTest, AReplyOutlivesItsObjectAndMovesWithoutADoubleFree) {
  library_->InitDatabase(connection_);
  StoreRows(2);
  std::vector<LibraryText> kept;
  {
    ComponentObject object(library_);
    CallReply reply = object.Transact(Query(0), connection_);
    kept.push_back(std::move(reply.text));
    EXPECT_EQ(reply.text.view(), "");  // the moved-from text holds nothing to free
  }
  library_.reset();  // the text keeps its library
  EXPECT_EQ(Rows(kept.front().view()), 2u);
}

}  // namespace
}  // namespace quillor::bench
