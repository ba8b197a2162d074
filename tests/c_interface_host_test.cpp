// The functions a command or an installer asks of a release library beside the
// calls, as a host of another language meets them: each library opened with
// dlopen and each function found by name with the header's types alone.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "quillor/quillor.h"
#include "testing/built_tree.h"
#include "testing/scoped_env.h"
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
      {"Provider=SQLite;Data Source=/nonexistent-folder/erp.db", "unable to open"},
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

// ---- who the library is, and its registration ---------------------------------

TEST_P(HostFunctions, TheIdentityIsTheReleasesOwn) {
  const auto identity_of = Symbol<decltype(&quillor_identity)>("quillor_identity");
  ASSERT_TRUE(identity_of);
  quillor_identity_t identity{};
  ASSERT_EQ(identity_of(&identity), 0);
  struct Expected {
    const char* release;
    bool pages, replaces_lines, shared_class;
  };
  const Expected table[] = {
      {"8.71", true, true, false}, {"8.61", false, false, true}, {"8.50", false, false, true}};
  for (const Expected& e : table) {
    if (std::string(e.release) != GetParam()) continue;
    EXPECT_STREQ(identity.release, e.release);
    EXPECT_EQ(identity.pages != 0, e.pages);
    EXPECT_EQ(identity.replaces_lines != 0, e.replaces_lines);
    EXPECT_EQ(identity.shared_class != 0, e.shared_class);
  }
  ASSERT_NE(identity.class_id, nullptr);
  EXPECT_EQ(std::string(identity.class_id).size(), 38u) << identity.class_id;
  EXPECT_EQ(identity.class_id[0], '{');
  EXPECT_LT(identity_of(nullptr), 0);
}

TEST_P(HostFunctions, RegistrationWritesAndTakesOutTheLibraryTheRegistryNames) {
  const auto registry_file = Symbol<decltype(&quillor_registry_file)>("quillor_registry_file");
  const auto registered =
      Symbol<decltype(&quillor_registered_library)>("quillor_registered_library");
  const auto problem = Symbol<decltype(&quillor_registry_problem)>("quillor_registry_problem");
  const auto register_classes = Symbol<decltype(&quillor_register)>("quillor_register");
  ASSERT_TRUE(registry_file && registered && problem && register_classes);
  TempDir dir;
  const std::string file = dir.File("cfg/registry");
  ScopedEnv env("QUILLOR_REGISTRY", file.c_str());
  // The registered library as text; none when the call fails.
  const auto library_in = [&](const std::string& registry) -> std::optional<std::string> {
    char* path = nullptr;
    size_t length = 0;
    const int32_t status = registered(registry.data(), registry.size(), &path, &length);
    const std::string text = Take(path, length);
    if (status < 0) return std::nullopt;
    return text;
  };
  char* path = nullptr;
  size_t length = 0;
  ASSERT_EQ(registry_file(&path, &length), 0);
  EXPECT_EQ(Take(path, length), file);
  ASSERT_EQ(problem(&path, &length), 0);
  EXPECT_EQ(Take(path, length), "");

  ASSERT_EQ(register_classes(0), 0);
  const std::string library = std::filesystem::canonical(BuiltLibraryResolved(GetParam()));
  EXPECT_EQ(library_in(""), library);
  EXPECT_EQ(library_in(file), library);                    // the file named is the same one
  EXPECT_EQ(library_in(dir.File("other")), "");  // a registry file not made yet names none
  ASSERT_EQ(register_classes(1), 0);
  EXPECT_EQ(library_in(""), "");

  // A registry file that is no registry: its problem is told, and not read.
  std::ofstream(file) << "not a registry\n";
  EXPECT_EQ(library_in(""), std::nullopt);
  ASSERT_EQ(problem(&path, &length), 0);
  EXPECT_NE(Take(path, length), "");

  // No place for the file at all.
  ScopedEnv q("QUILLOR_REGISTRY", nullptr), x("XDG_CONFIG_HOME", nullptr), h("HOME", nullptr);
  EXPECT_LT(registry_file(&path, &length), 0);
  EXPECT_NE(Take(path, length), "");
  EXPECT_LT(registered(nullptr, 3, &path, &length), 0);
  EXPECT_EQ(path, nullptr);
}

// ---- what a connection text says ------------------------------------------------

TEST_P(HostFunctions, ConnectionFactsAreReadAsTheCallsReadThem) {
  const auto facts_of = Symbol<decltype(&quillor_connection_facts)>("quillor_connection_facts");
  const auto free_facts =
      Symbol<decltype(&quillor_connection_facts_free)>("quillor_connection_facts_free");
  ASSERT_TRUE(facts_of && free_facts);
  ScopedEnv env("QUILLOR_MAX_REQUEST_SIZE", nullptr);
  constexpr uint64_t kDefault = uint64_t{256} << 20;
  struct Case {
    std::string text;
    uint64_t bound;
    bool refused, names_bound;
    std::optional<std::string> sqlite_file;
    std::string masked;
    bool provider_refused;
  };
  const Case cases[] = {
      {"Provider=SQLite;Data Source=/tmp/erp.db", kDefault, false, false, "/tmp/erp.db",
       "Provider=SQLite;Data Source=/tmp/erp.db", false},
      {"provider = sqlite ; data source = rel/erp.db ; Max Request Size=4096", 4096, false, true,
       "rel/erp.db", "provider = sqlite ; data source = rel/erp.db ; Max Request Size=4096", false},
      {"Provider=SQLite;Data Source=\"/tmp/a;b.db\"", kDefault, false, false, "/tmp/a;b.db",
       "Provider=SQLite;Data Source=\"/tmp/a;b.db\"", false},
      {"Provider=SQLite;Data Source=", kDefault, false, false, std::nullopt,
       "Provider=SQLite;Data Source=", false},
      {"Driver=PostgreSQL;UID=q;PWD=secret;Max Request Size=lots", kDefault, true, true,
       std::nullopt, "Driver=PostgreSQL;UID=q;PWD=***;Max Request Size=lots", false},
      {"Provider=Bogus;Password='x;y'", kDefault, false, false, std::nullopt,
       "Provider=Bogus;Password=***", true},
      {"", kDefault, false, false, std::nullopt, "", false},
  };
  for (const Case& c : cases) {
    quillor_connection_facts_t facts{};
    ASSERT_EQ(facts_of(c.text.data(), c.text.size(), &facts), 0) << c.text;
    EXPECT_EQ(facts.request_bound, c.bound) << c.text;
    EXPECT_EQ(facts.bound_refused != 0, c.refused) << c.text;
    EXPECT_EQ(facts.names_bound != 0, c.names_bound) << c.text;
    EXPECT_EQ(facts.sqlite_file ? std::optional<std::string>(facts.sqlite_file) : std::nullopt,
              c.sqlite_file)
        << c.text;
    ASSERT_NE(facts.masked, nullptr);
    EXPECT_EQ(std::string(facts.masked), c.masked);
    EXPECT_EQ(facts.provider_refusal != nullptr, c.provider_refused) << c.text;
    free_facts(&facts);
    EXPECT_EQ(facts.masked, nullptr);
  }
  // The environment's bound, when the text names none.
  ScopedEnv bound("QUILLOR_MAX_REQUEST_SIZE", "2048");
  quillor_connection_facts_t facts{};
  ASSERT_EQ(facts_of("DSN=x", 5, &facts), 0);
  EXPECT_EQ(facts.request_bound, 2048u);
  EXPECT_EQ(facts.names_bound, 0);
  free_facts(&facts);
  // NULL pointers are a status; freeing nothing is nothing.
  EXPECT_LT(facts_of("x", 1, nullptr), 0);
  EXPECT_LT(facts_of(nullptr, 4, &facts), 0);
  EXPECT_EQ(facts.masked, nullptr);
  free_facts(nullptr);
}

TEST_P(HostFunctions, TheOversizedNoteSaysTheSizeTheBoundAndItsSource) {
  const auto note_of = Symbol<decltype(&quillor_oversized_note)>("quillor_oversized_note");
  ASSERT_TRUE(note_of);
  ScopedEnv env("QUILLOR_MAX_REQUEST_SIZE", nullptr);
  struct Case {
    std::string connection;
    uint64_t bytes;
    std::string source;
    int32_t status_sign;  // 0 answered, -1 refused
    std::string said;
  };
  const Case cases[] = {
      {"DSN=x;Max Request Size=10", 25, "", 0, "10 bytes (Max Request Size)"},
      {"DSN=x;Max Request Size=10", 25, "", 0, "25"},
      {"DSN=x;Max Request Size=10", 0, "-", 0, "standard input"},
      {"DSN=x;Max Request Size=10", 0, "req.xml", 0, "req.xml"},
      {"DSN=x", 300000000, "", 0, "268435456"},
      {"DSN=x;Max Request Size=ten", 25, "", -1, "Max Request Size"},
  };
  for (const Case& c : cases) {
    char* note = nullptr;
    size_t length = 0;
    const int32_t status = note_of(c.connection.data(), c.connection.size(), c.bytes,
                                   c.source.data(), c.source.size(), &note, &length);
    EXPECT_EQ(status < 0 ? -1 : 0, c.status_sign) << c.connection;
    const std::string text = Take(note, length);
    EXPECT_NE(text.find(c.said), std::string::npos) << text;
  }
  char* note = reinterpret_cast<char*>(1);
  EXPECT_LT(note_of(nullptr, 2, 5, "", 0, &note, nullptr), 0);
  EXPECT_EQ(note, nullptr);
  EXPECT_LT(note_of("", 0, 0, nullptr, 2, &note, nullptr), 0);
}

// ---- the English of the component's texts ---------------------------------------

TEST_P(HostFunctions, TheGlossesPutTheCataloguesTextsIntoEnglish) {
  const auto message = Symbol<decltype(&quillor_gloss_message)>("quillor_gloss_message");
  const auto item = Symbol<decltype(&quillor_gloss_item)>("quillor_gloss_item");
  const auto reply = Symbol<decltype(&quillor_gloss_reply)>("quillor_gloss_reply");
  ASSERT_TRUE(message && item && reply);
  const auto english = [&](const std::string& text) {
    char* out = nullptr;
    size_t length = 0;
    EXPECT_EQ(message(text.data(), text.size(), &out, &length), 0);
    return Take(out, length);
  };
  EXPECT_EQ(english("成功"), "written");
  EXPECT_EQ(english("D09部门不是基本核算部门！"),
            "D09: the department is not a base costing department");
  EXPECT_EQ(english("no catalogue text"), "no catalogue text");

  struct ItemCase {
    quillor_item_t item;
    std::string line;
  };
  const ItemCase items[] = {
      {{"6", 101, "D09部门不是基本核算部门！", "", ""},
       "# item 6: 101, refused: D09: the department is not a base costing department"},
      {{"7", 0, "成功", "", ""}, "# item 7: 0, written"},
      {{"8", 999, "x", "", ""}, "# item 8: 999, the batch stopped: x"},
      {{nullptr, 3, "连接失败", "", "IM002"}, "# reply 3: " + english("连接失败")},
  };
  for (const ItemCase& c : items) {
    char* out = nullptr;
    size_t length = 0;
    ASSERT_EQ(item(&c.item, &out, &length), 0);
    EXPECT_EQ(Take(out, length), c.line);
  }

  struct ReplyCase {
    std::string reply;
    std::string lines;
  };
  const ReplyCase replies[] = {
      {R"(<reply><item id="1" code="0" message="成功"/><item id="2" code="0" message="成功"/></reply>)",
       "# item 1: 0, written\n# item 2: 0, written\n"},
      {R"(<ufinterface roottag="material"><material/><material/></ufinterface>)",
       "# 2 rows in the reply\n"},
      {"not xml", "# the reply is not XML\n"},
  };
  for (const ReplyCase& c : replies) {
    char* out = nullptr;
    size_t length = 0;
    ASSERT_EQ(reply(c.reply.data(), c.reply.size(), &out, &length), 0);
    EXPECT_EQ(Take(out, length), c.lines);
  }

  char* out = reinterpret_cast<char*>(1);
  EXPECT_LT(message(nullptr, 3, &out, nullptr), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_LT(message("x", 1, nullptr, nullptr), 0);
  EXPECT_LT(item(nullptr, &out, nullptr), 0);
  EXPECT_LT(reply(nullptr, 9, &out, nullptr), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryRelease, HostFunctions, ::testing::Values("8.71", "8.61", "8.50"));

}  // namespace
}  // namespace quillor::testing
