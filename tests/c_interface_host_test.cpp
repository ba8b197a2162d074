// The functions a command or an installer asks of a release library beside the
// calls, as a host of another language meets them: each library opened with
// dlopen and each function found by name with the header's types alone.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "quillor/quillor.h"
#include "testing/built_tree.h"
#include "testing/temp_dir.h"

namespace quillor::testing {
namespace {

// One release library, loaded for the test's lifetime.
class HostFunctions : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    handle_.reset(dlopen(BuiltLibraryResolved(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(handle_) << dlerror();
    ASSERT_TRUE(free_text_ = Symbol<decltype(&quillor_free)>("quillor_free"));
  }

  template <typename F>
  F Symbol(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle_.get(), name));
  }

  // A text a function handed out, freed in the library.
  std::string Take(char* text, size_t length) const {
    std::string copy = text ? std::string(text, length) : std::string("(none)");
    free_text_(text);
    return copy;
  }

  struct Closer {
    void operator()(void* handle) const { dlclose(handle); }
  };
  std::unique_ptr<void, Closer> handle_;
  decltype(&quillor_free) free_text_ = nullptr;
};

// ---- the host database made ready ---------------------------------------------

TEST_P(HostFunctions, InitDatabaseMakesTheFileAndTablesAndSaysWhatItDid) {
  const auto init = Symbol<decltype(&quillor_init_database)>("quillor_init_database");
  ASSERT_TRUE(init);
  TempDir dir;
  const std::string file = dir.File("erp.db");
  const std::string connection = SqliteText(file);
  struct Step {
    int32_t sample;
    std::string report;
  };
  // Each step runs on what the one before it left.
  const Step steps[] = {
      {0, "database file " + file + "\nhost tables created\n"},
      {0, "database file " + file + "\nhost tables already present\n"},
      {1, "database file " + file +
              "\nhost tables already present\n"
              "  ca_depDf: D01 and D02 (basic departments), D09 (not basic) (3 rows added)\n"},
  };
  for (const Step& step : steps) {
    char* report = nullptr;
    size_t length = 0;
    ASSERT_EQ(init(connection.data(), connection.size(), step.sample, &report, &length), 0)
        << Take(report, length);
    const std::string text = Take(report, length);
    EXPECT_EQ(text.substr(0, step.report.size()), step.report) << text;
    EXPECT_EQ(text.back(), '\n');
  }
  // The sample added again adds nothing.
  char* report = nullptr;
  size_t length = 0;
  ASSERT_EQ(init(connection.data(), connection.size(), 1, &report, &length), 0);
  EXPECT_NE(Take(report, length).find("(0 rows added, 3 rows already there)"), std::string::npos);
  // A report nobody asks for is not handed out.
  EXPECT_EQ(init(connection.data(), connection.size(), 0, nullptr, nullptr), 0);
}

TEST_P(HostFunctions, InitDatabaseRefusesWhatItCannotOpenWithTheDatabasesWords) {
  const auto init = Symbol<decltype(&quillor_init_database)>("quillor_init_database");
  ASSERT_TRUE(init);
  struct Case {
    std::string connection;
    std::string words;  // part of the failure's words
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=/nonexistent-folder/erp.db", "/nonexistent-folder/erp.db"},
      {"Provider=Nothing;Data Source=x", "Nothing"},
      {"", ""},
  };
  for (const Case& c : cases) {
    char* report = nullptr;
    size_t length = 0;
    EXPECT_LT(init(c.connection.data(), c.connection.size(), 0, &report, &length), 0)
        << c.connection;
    ASSERT_NE(report, nullptr) << c.connection;
    const std::string words = Take(report, length);
    EXPECT_FALSE(words.empty()) << c.connection;
    EXPECT_NE(words.find(c.words), std::string::npos) << words;
  }
}

TEST_P(HostFunctions, InitDatabaseTakesANullTextAsAStatusNotACrash) {
  const auto init = Symbol<decltype(&quillor_init_database)>("quillor_init_database");
  ASSERT_TRUE(init);
  char* report = reinterpret_cast<char*>(1);
  size_t length = 9;
  EXPECT_LT(init(nullptr, 5, 0, &report, &length), 0);
  EXPECT_EQ(report, nullptr);
  EXPECT_EQ(length, 0u);
  EXPECT_LT(init(nullptr, 0, 0, nullptr, nullptr), 0);  // an empty text opens nothing
}

INSTANTIATE_TEST_SUITE_P(EveryRelease, HostFunctions, ::testing::Values("8.71", "8.61", "8.50"));

}  // namespace
}  // namespace quillor::testing
