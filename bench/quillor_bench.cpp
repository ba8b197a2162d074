// Prints what the component costs over the statements it must send, on the
// embedded SQLite database in a temporary file:
//   1. ADD of N elements in one request (half of them replacing an earlier row);
//   2. the same statements replayed through the SQLite C API, as the baseline;
//   3. single-element ADD calls, the fixed cost of a call;
//   4. QUERY of many rows, without paging and in pages to a registered caller,
//      with the peak resident memory of each (measured in a child process).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "component/imaterial.h"
#include "platform/sqlite_file.h"
#include "tools/quillor/host_schema.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace quillor {
namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string ConnectionText(const fs::path& db, const std::string& sync) {
  return "Provider=SQLite;Data Source=" + db.string() + ";Synchronous=" + sync;
}

// Master data for `items` distinct inventory codes and one cost object.
void MakeHostDatabase(const fs::path& db, int items) {
  fs::remove(db);
  CreateSqliteDatabaseFile(db.string());
  std::unique_ptr<Connection> conn = OpenConnection(ConnectionText(db, "Normal"));
  CreateHostTables(*conn);
  conn->Begin();
  conn->Execute("insert into ca_depDf values('D01',1)");
  conn->Execute("insert into ca_pronb values('B1')");
  conn->Execute("insert into caq_coreal(iRealCOID,cDeptID,InvCode) values(1001,'D01','P100')");
  conn->Execute("insert into ca_batchmap(iRealCOID,cDeptID,InvCode,cbatch) values(1001,'D01','P100','B1')");
  for (int i = 0; i < items; ++i) {
    conn->Execute("insert into Inventory values('M" + std::to_string(i) + "','material')");
  }
  conn->Commit();
}

std::string Material(int i) {
  return "<material id=\"" + std::to_string(i) +
         "\"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>M" +
         std::to_string(i) +
         "</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity><period>" +
         std::to_string(i % 12 + 1) + "</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>";
}

std::string AddRequest(int first, int count) {
  std::string request = R"(<ufinterface roottag="material" docid="bench" proc="ADD">)";
  for (int i = first; i < first + count; ++i) request += Material(i);
  return request + "</ufinterface>";
}

std::string Transact(IMaterial& object, const std::string& request, const std::string& conn) {
  com::ComPtr<IOrvoLogin> login = MakeLogin(conn, object.profile().ids.login_iid);
  IOrvoLogin* raw = login.Get();
  std::string reply;
  if (com::Failed(object.Transact(request, &raw, &reply))) {
    std::fprintf(stderr, "Transact failed\n");
    std::exit(1);
  }
  return reply;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The statements of a trace file: what the database received ("sent" where the
// text was adapted, else "sql").
std::vector<std::string> TracedStatements(const fs::path& trace) {
  std::vector<std::string> out;
  std::ifstream in(trace);
  std::string line;
  auto json_string_at = [](const std::string& l, size_t at) {
    std::string s;
    for (size_t i = at; i < l.size() && l[i] != '"'; ++i) {
      if (l[i] == '\\' && i + 1 < l.size()) {
        char e = l[++i];
        s += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
      } else {
        s += l[i];
      }
    }
    return s;
  };
  while (std::getline(in, line)) {
    size_t at = line.find("\"sent\": \"");
    if (at != std::string::npos) {
      out.push_back(json_string_at(line, at + 9));
    } else {
      out.push_back(json_string_at(line, line.find("\"sql\": \"") + 8));
    }
  }
  return out;
}

double Replay(const fs::path& db, const std::vector<std::string>& statements, bool full) {
  sqlite3* handle = nullptr;
  sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_exec(handle, "pragma journal_mode=wal", nullptr, nullptr, nullptr);
  sqlite3_exec(handle, full ? "pragma synchronous=full" : "pragma synchronous=normal", nullptr,
               nullptr, nullptr);
  sqlite3_busy_timeout(handle, 5000);
  Clock::time_point start = Clock::now();
  for (const std::string& sql : statements) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(handle, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) sqlite3_column_text(stmt, c);
    }
    sqlite3_finalize(stmt);
  }
  double seconds = Seconds(start);
  sqlite3_close(handle);
  return seconds;
}

void PrepareAddRun(const fs::path& db, int n) {
  MakeHostDatabase(db, n);
  // The first half of the timed request's elements replace rows written here.
  com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
  Transact(*object, AddRequest(0, n / 2), ConnectionText(db, "Normal"));
}

void BenchAdd(const fs::path& dir, int n, const std::string& sync) {
  const fs::path db = dir / "add.db";
  const fs::path trace = dir / "add.jsonl";
  const std::string request = AddRequest(0, n);

  // The statements the component sends, captured on an identical database.
  PrepareAddRun(db, n);
  fs::remove(trace);
  setenv("QUILLOR_TRACE_SQL", trace.c_str(), 1);
  {
    com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
    Transact(*object, request, ConnectionText(db, sync));
  }
  unsetenv("QUILLOR_TRACE_SQL");
  const std::vector<std::string> statements = TracedStatements(trace);

  PrepareAddRun(db, n);
  com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
  Clock::time_point start = Clock::now();
  const std::string reply = Transact(*object, request, ConnectionText(db, sync));
  const double component = Seconds(start);
  const size_t written = Count(reply, "code=\"0\"");

  PrepareAddRun(db, n);
  const double baseline = Replay(db, statements, sync == "Full");

  std::printf(
      "ADD  sync=%-6s N=%-7d written=%-7zu statements=%-7zu  %9.0f elements/s  %7.2f us/element"
      "  baseline %7.2f us/element  ratio %.3f\n",
      sync.c_str(), n, written, statements.size(), n / component, component * 1e6 / n,
      baseline * 1e6 / n, component / baseline);
}

void BenchCalls(const fs::path& dir, int calls, const std::string& sync) {
  const fs::path db = dir / "calls.db";
  MakeHostDatabase(db, calls);
  com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
  const std::string conn = ConnectionText(db, sync);
  Clock::time_point start = Clock::now();
  for (int i = 0; i < calls; ++i) Transact(*object, AddRequest(i, 1), conn);
  const double seconds = Seconds(start);
  std::printf("CALL sync=%-6s calls=%-5d %9.0f calls/s  %7.1f us/call\n", sync.c_str(), calls,
              calls / seconds, seconds * 1e6 / calls);
}

// A caller that receives pages and drops them.
class PageSink final : public com::IDispatch {
 public:
  com::HRESULT QueryInterface(const com::Guid& iid, void** out) override {
    *out = (iid == com::kIID_IUnknown || iid == com::kIID_IDispatch) ? this : nullptr;
    return *out ? com::S_OK : com::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  com::HRESULT GetIDsOfNames(std::string_view, int32_t* dispid) override {
    *dispid = 1;
    return com::S_OK;
  }
  com::HRESULT Invoke(int32_t, com::InvokeKind, std::vector<com::Variant>& args, com::Variant*,
                      com::ExceptionInfo*) override {
    bytes += args[0].Get<std::string>().size();
    ++pages;
    return com::S_OK;
  }
  size_t bytes = 0;
  int pages = 0;
};

// Runs one QUERY in a child process and prints its rate and peak memory.
void BenchQuery(const fs::path& db, int rows, int page_size, const std::string& sync) {
  fflush(stdout);
  pid_t child = fork();
  if (child == 0) {
    PageSink sink;
    com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
    if (page_size > 0) {
      com::IDispatch* caller = &sink;
      bool ok = false;
      object->AddObjectReference(&caller, &ok);
    }
    const std::string request = "<ufinterface roottag=\"material\" docid=\"q\" proc=\"QUERY\" paginate=\"" +
                                std::to_string(page_size) + "\"/>";
    Clock::time_point start = Clock::now();
    const std::string reply = Transact(*object, request, ConnectionText(db, sync));
    const double seconds = Seconds(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("QRY  sync=%-6s rows=%-7d pages of %-5d %9.0f rows/s  peak RSS %7.1f MiB  (%d pages, reply %zu bytes)\n",
                sync.c_str(), rows, page_size, rows / seconds, usage.ru_maxrss / 1024.0,
                sink.pages, reply.size());
    fflush(stdout);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

void MakeQueryDatabase(const fs::path& db, int rows) {
  MakeHostDatabase(db, 0);
  std::unique_ptr<Connection> conn = OpenConnection(ConnectionText(db, "Normal"));
  conn->Begin();
  for (int i = 0; i < rows; ++i) {
    conn->Execute("insert into ca_mabsw values('D01','1001','M" + std::to_string(i) +
                  "','B1',2.5,3,5,7.5,0)");
  }
  conn->Commit();
}

}  // namespace
}  // namespace quillor

int main(int argc, char** argv) {
  using namespace quillor;
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  char tmpl[] = "/tmp/quillor-bench-XXXXXX";
  const fs::path dir = mkdtemp(tmpl);

  for (const std::string sync : {"Normal", "Full"}) {
    std::vector<int> sizes = {1000, 10000};
    // Every commit waits for the disk under Full: the largest batch runs under Normal only.
    if (sync == "Normal" && !quick) sizes.push_back(100000);
    for (int n : sizes) BenchAdd(dir, n, sync);
    BenchCalls(dir, 1000, sync);
  }
  for (int rows : quick ? std::vector<int>{10000} : std::vector<int>{10000, 100000}) {
    const fs::path db = dir / ("query" + std::to_string(rows) + ".db");
    MakeQueryDatabase(db, rows);
    for (const std::string sync : {"Normal", "Full"}) {
      BenchQuery(db, rows, 0, sync);
      BenchQuery(db, rows, 1000, sync);
    }
  }
  fs::remove_all(dir);
  return 0;
}
