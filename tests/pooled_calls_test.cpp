// Connections kept across calls: on a real database a kept connection carries
// nothing from one call into the next, a database file replaced under it is
// noticed, calls answer and trace exactly as without the pool, and a library
// unloaded closes what its pool kept.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "component/deliverable/pool_stats.h"
#include "platform/base/failure.h"
#include "platform/com/inproc_server.h"
#include "platform/db/connection_pool.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_faults.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "runtime/value_text.h"
#include "schema/host_schema.h"
#include "testing/built_tree.h"
#include "testing/pg_database.h"
#include "testing/reliability_support.h"

namespace quillor::testing {
namespace {

namespace fs = std::filesystem;

// The first value of a one-row query.
std::string Scalar(Connection& conn, std::string_view sql) {
  auto rs = conn.Open(sql, CursorType::kForwardOnly);
  const std::string value = rs->Eof() ? "" : ValueText(rs->Value(0));
  rs->Close();
  return value;
}

class SqlitePoolTest : public ::testing::Test {
 protected:
  SqlitePoolTest() : db_(TestDb::Engine::kSqlite) {}
  std::string Text() const { return db_.ConnectionText() + ";Synchronous=Normal"; }

  TestDb db_;
  ConnectionPool pool_{OpenUntracedConnection, [] { return std::chrono::steady_clock::now(); }};
};

TEST_F(SqlitePoolTest, ATransactionACallLeftOpenIsRolledBackBeforeTheConnectionIsKept) {
  {
    auto conn = pool_.Acquire(Text());
    conn->Execute("begin");
    conn->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'left', 1)");
  }
  // Its write lock went with the rollback: another connection writes at once.
  db_.Run("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'other', 2)");
  auto conn = pool_.Acquire(Text());
  EXPECT_EQ(pool_.Counts().reused, 1u);
  EXPECT_EQ(Scalar(*conn, "select group_concat(cMatID) from ca_mabsw"), "other");
  conn->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'next', 3)");
  EXPECT_EQ(db_.Rows("select count(*) from ca_mabsw")[0][0], "2");  // committed on its own
}

TEST_F(SqlitePoolTest, AUnitOfWorkLeftOpenClosesTheConnectionInsteadOfKeepingIt) {
  {
    auto conn = pool_.Acquire(Text());
    conn->Begin();
    conn->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'left', 1)");
  }
  EXPECT_EQ(pool_.Counts().idle, 0u);
  EXPECT_EQ(pool_.Counts().discarded, 1u);
  EXPECT_TRUE(db_.Rows("select * from ca_mabsw").empty());
}

TEST_F(SqlitePoolTest, SettingsACallChangedAreThoseOfTheConnectionTextAgain) {
  {
    auto conn = pool_.Acquire(Text());
    conn->Execute("pragma synchronous=OFF");
    conn->Execute("pragma busy_timeout=1");
  }
  auto conn = pool_.Acquire(Text());
  ASSERT_EQ(pool_.Counts().reused, 1u);
  EXPECT_EQ(Scalar(*conn, "pragma synchronous"), "1");  // NORMAL
  EXPECT_EQ(Scalar(*conn, "pragma busy_timeout"), "5000");
  EXPECT_EQ(Scalar(*conn, "pragma journal_mode"), "wal");
}

TEST_F(SqlitePoolTest, ADatabaseFileReplacedUnderAnIdleConnectionIsReachedAfresh) {
  { auto conn = pool_.Acquire(Text()); }
  const fs::path file = db_.dir() / "host.db";
  const fs::path moved = db_.dir() / "old.db";
  fs::rename(file, moved);
  CreateSqliteDatabaseFile(file.string());
  {
    auto setup = OpenConnection(Text());
    CreateHostTables(*setup);
    setup->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'new', 1)");
  }
  auto conn = pool_.Acquire(Text());
  EXPECT_EQ(pool_.Counts().discarded, 1u);
  EXPECT_EQ(pool_.Counts().reused, 0u);
  EXPECT_EQ(Scalar(*conn, "select cMatID from ca_mabsw"), "new");
}

TEST_F(SqlitePoolTest, AConnectionOpenedWritableDoesNotServeWhenOpensAreToBeReadOnly) {
  sqlite::faults::Scope scope;
  { auto conn = pool_.Acquire(Text()); }
  sqlite::faults::OpenReadOnly(true);
  auto conn = pool_.Acquire(Text());
  EXPECT_EQ(pool_.Counts().reused, 0u);
  EXPECT_THROW(
      conn->Execute("insert into ca_mabsw(cDeptID, cMatID, iPeriod) values ('D01', 'x', 1)"),
      Failure);
}

// A session the server ended while its connection sat idle is found out before
// any call gets it.
TEST(PgPoolTest, ASessionTheServerEndedIsClosedAndAFreshOneServes) {
  const auto base = PgConnectionText();
  if (!base) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
  PgDatabase db(*base);
  ConnectionPool pool(OpenUntracedConnection, [] { return std::chrono::steady_clock::now(); });
  std::string pid;
  {
    auto conn = pool.Acquire(db.text());
    pid = Scalar(*conn, "select pg_backend_pid()");
  }
  auto admin = OpenConnection(*base);
  EXPECT_EQ(Scalar(*admin, "select pg_terminate_backend(" + pid + ")"), "1");
  auto conn = pool.Acquire(db.text());
  EXPECT_EQ(pool.Counts().discarded, 1u);
  EXPECT_EQ(pool.Counts().opened, 2u);
  EXPECT_NE(Scalar(*conn, "select pg_backend_pid()"), pid);
}

// A trace without its timings, which differ from run to run.
std::string TraceWithoutTimes(const fs::path& file) {
  std::ifstream in(file);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return std::regex_replace(text, std::regex(", \"ms\": [0-9.]+"), "");
}

// The same calls on two identical databases, one with the pool and one without.
TEST(PooledCallsTest, RepliesAndTracesAreTheSameWithAndWithoutThePool) {
  const std::vector<std::string> requests = {
      AddRequest(Material("1", "M01", "3", "4") + Material("2", "M02", "4", "7")),
      AddRequest(Material("1", "M01", "3", "5") + Material("3", "M09", "4", "7")),
      R"(<ufinterface roottag="material" docid="q" proc="QUERY" paginate="0"><material>)"
      R"(<field name="cDeptID" operation="=" value="D01"/></material></ufinterface>)",
      "<not xml",
      R"(<ufinterface proc="DELETE"/>)",
      AddRequest(Material("4", "M02", "13", "1")),
  };
  TempDir traces;
  std::vector<std::string> replies[2];
  std::string trace[2];
  const uint64_t reused_before = ConnectionPool::ForProcess().Counts().reused;
  for (int pooled = 0; pooled < 2; ++pooled) {
    SampleDb db;
    const fs::path file = traces.path() / ("trace" + std::to_string(pooled));
    setenv("QUILLOR_TRACE_SQL", file.c_str(), 1);
    const std::string text = db.ConnectionText() + (pooled ? "" : ";Pooling=false");
    auto object = MaterialComponent::Create(Release871());
    for (const std::string& request : requests)
      replies[pooled].push_back(Send(*object, request, text));
    unsetenv("QUILLOR_TRACE_SQL");
    trace[pooled] = TraceWithoutTimes(file);
  }
  EXPECT_EQ(replies[0], replies[1]);
  EXPECT_EQ(trace[0], trace[1]);
  EXPECT_NE(trace[0].find("insert"), std::string::npos);
  // Every call after the first on the pooled database ran on a kept connection.
  EXPECT_EQ(ConnectionPool::ForProcess().Counts().reused - reused_before, requests.size() - 1);
}

// A relative Data Source names the file beside the folder the host is in when
// the call starts: after the host changes folder, the same text reaches the
// other folder's database, pooled as unpooled.
TEST(PooledCallsTest, ARelativeDataSourceFollowsTheHostsFolder) {
  const fs::path home = fs::current_path();
  for (const char* pooling : {"", ";Pooling=false"}) {
    SCOPED_TRACE(*pooling ? "unpooled" : "pooled");
    SampleDb a(TestDb::Engine::kSqlite);
    SampleDb b(TestDb::Engine::kSqlite);
    const std::string text = std::string("Provider=SQLite;Data Source=host.db") + pooling;
    auto object = MaterialComponent::Create(Release871());
    const std::string request = AddRequest(Material("1", "M01", "3", "4"));
    std::vector<std::string> replies;
    for (const TestDb* db : {static_cast<const TestDb*>(&a), static_cast<const TestDb*>(&b)}) {
      fs::current_path(db->dir());
      replies.push_back(Send(*object, request, text));
    }
    fs::current_path(home);
    EXPECT_EQ(replies[0], replies[1]);
    EXPECT_EQ(a.MaterialRows().size(), 1u);
    EXPECT_EQ(b.MaterialRows(), a.MaterialRows());
  }
}

// How many of this process's descriptors are open on files in the directory.
int DescriptorsInto(const fs::path& dir) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (!ec && target.parent_path() == dir) ++n;
  }
  return n;
}

TEST(PoolUnloadTest, TheLibraryClosesItsIdleConnectionsWhenItIsUnloaded) {
  TempDir dir;
  const fs::path data = fs::canonical(dir.path()) / "data";
  fs::create_directories(data);
  const std::string text = "Provider=SQLite;Data Source=" + (data / "host.db").string();
  CreateSqliteDatabaseFile((data / "host.db").string());
  {
    auto setup = OpenConnection(text);
    CreateHostTables(*setup);
    InsertSampleData(*setup);
  }
  ASSERT_EQ(DescriptorsInto(data), 0);

  const ReleaseProfile& profile = Release850();
  const std::string library = testing::BuiltLibraryResolved(profile.release);
  // As in the unload test: a copy loaded first stays for good, so that the
  // library under test is really unloaded.
  const fs::path copy = dir.path() / "first" / "libquillor.so";
  fs::create_directories(copy.parent_path());
  fs::copy_file(library, copy);
  const com::InprocServer first = com::InprocServer::Load(copy.string());
  {
    const com::InprocServer server = com::InprocServer::Load(library);
    const auto stats = reinterpret_cast<QuillorPoolStatsFn>(server.FindExport("QuillorPoolStats"));
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats(nullptr), com::E_POINTER);
    {
      com::ComPtr<com::IClassFactory> factory = server.GetClassObject(profile.ids.clsid);
      com::ComPtr<MaterialInterface> object;
      ASSERT_EQ(factory->CreateInstance(nullptr, profile.ids.interface_iids[0],
                                        reinterpret_cast<void**>(object.Put())),
                com::S_OK);
      com::ComPtr<IOrvoLogin> login = MakeLogin(text, profile.ids.login_iid);
      for (int call = 0; call < 2; ++call) {
        IOrvoLogin* raw = login.Get();
        std::string reply;
        ASSERT_EQ(object->Transact(AddRequest(Material("1", "M01", "3", "4")), &raw, &reply),
                  com::S_OK);
        EXPECT_EQ(Parse(reply).items.size(), 1u) << reply;
      }
    }
    QuillorPoolCounts counts{};
    ASSERT_EQ(stats(&counts), com::S_OK);
    EXPECT_EQ(counts.idle, 1u);
    EXPECT_EQ(counts.busy, 0u);
    EXPECT_EQ(counts.opened, 1u);
    EXPECT_EQ(counts.reused, 1u);
    EXPECT_GT(DescriptorsInto(data), 0);          // the kept connection's database and log
    EXPECT_EQ(server.CanUnloadNow(), com::S_OK);  // kept connections do not hold the library
  }
  EXPECT_EQ(DescriptorsInto(data), 0);
  // The last connection closed: its log was checkpointed into the database and removed.
  EXPECT_FALSE(fs::exists(data / "host.db-wal"));
}

}  // namespace
}  // namespace quillor::testing
