// Prints what the component costs over the statements it must send, on the
// embedded SQLite database in a temporary file:
//   1. ADD of N elements in one request (half of them replacing an earlier row);
//   2. the same statements replayed through the SQLite C API, as the baseline;
//   3. single-element ADD calls, the fixed cost of a call, with the connection
//      kept across calls and without;
//   4. the peak memory of `quillor transact` on one ADD request of 50 MB;
//   5. QUERY of many rows, without paging and in pages to a registered caller,
//      with the peak resident memory of each (measured in a fresh process),
//      beside a baseline: the same statement through the SQLite C API, each row
//      written as the same element into one growing text;
//   6. single-element ADD requests over HTTP to `quillor serve` with keep-alive,
//      beside the same calls in process through the pool.
//
// Usage: quillor_bench [--quick] [--only add|calls|addmem|query|http] [--sync Normal|Full]
#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "component/imaterial.h"
#include "platform/base/text.h"
#include "platform/db/connection_pool.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "profiles/release_profile.h"
#include "schema/host_schema.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace quillor {
namespace {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs a program in a child process and waits for it; the bench stops with the
// failure's text when the child does not end with 0. Quiet children write their
// standard output to /dev/null. Gives the child's resource use.
rusage RunChild(const std::string& program, const std::vector<std::string>& args,
                const char* failure, bool quiet = false) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    if (quiet) dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s\n", failure);
    std::exit(1);
  }
  return usage;
}

// The processor time of this process, to tell our work from waiting for the disk
// or for the other processes on the machine.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

template <typename Work>
Timing Measure(Work&& work) {
  const double cpu = CpuSeconds();
  const Clock::time_point start = Clock::now();
  work();
  return {Seconds(start), CpuSeconds() - cpu};
}

std::string ConnectionText(const fs::path& db, const std::string& sync) {
  return "Provider=SQLite;Data Source=" + db.string() + ";Synchronous=" + sync;
}

// Master data for `items` distinct inventory codes and one cost object.
void MakeHostDatabase(const fs::path& db, int items) {
  fs::remove(db);
  fs::remove(db.string() + "-wal");
  fs::remove(db.string() + "-shm");
  CreateSqliteDatabaseFile(db.string());
  std::unique_ptr<Connection> conn = OpenConnection(ConnectionText(db, "Normal"));
  CreateHostTables(*conn);
  conn->Begin();
  conn->Execute("insert into ca_depDf values('D01',1)");
  conn->Execute("insert into ca_pronb values('B1')");
  conn->Execute("insert into caq_coreal(iRealCOID,cDeptID,InvCode) values(1001,'D01','P100')");
  conn->Execute(
      "insert into ca_batchmap(iRealCOID,cDeptID,InvCode,cbatch) values(1001,'D01','P100','B1')");
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
         std::to_string(i % 12 + 1) +
         "</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>";
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

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

void Exec(sqlite3* handle, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(handle, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
      SQLITE_OK) {
    std::fprintf(stderr, "replay: %s: %s\n", sql.c_str(), sqlite3_errmsg(handle));
    std::exit(1);
  }
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(stmt); ++c) sqlite3_column_text(stmt, c);
  }
  sqlite3_finalize(stmt);
}

// Runs the traced statements one after another, each prepared from its text, on
// a connection set up as the component sets up its own. The trace leaves out the
// unit of work around each row write (a savepoint, which at the outermost level
// is the commit); the replay puts it back, so that both commit equally often.
Timing Replay(const fs::path& db, const std::vector<std::string>& statements, bool full) {
  sqlite3* handle = nullptr;
  sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  sqlite3_busy_timeout(handle, 5000);
  return Measure([&] {
    Exec(handle, "pragma journal_mode=WAL");
    Exec(handle, full ? "pragma synchronous=FULL" : "pragma synchronous=NORMAL");
    bool in_unit = false;
    for (const std::string& sql : statements) {
      const bool deletion = StartsWith(sql, "delete from ca_mabsw ");
      const bool insertion = StartsWith(sql, "insert into ca_mabsw(");
      if ((deletion || insertion) && !in_unit) {
        Exec(handle, "savepoint quillor_0");
        in_unit = true;
      }
      Exec(handle, sql);
      if (insertion) {
        Exec(handle, "release quillor_0");
        in_unit = false;
      }
    }
    sqlite3_close(handle);
  });
}

void PrepareAddRun(const fs::path& db, int n) {
  MakeHostDatabase(db, n);
  // The first half of the timed request's elements replace rows written here.
  com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
  Transact(*object, AddRequest(0, n / 2), ConnectionText(db, "Normal"));
}

struct AddFigures {
  int n;
  double us_per_element;
};

AddFigures BenchAdd(const fs::path& dir, int n, const std::string& sync, bool print = true) {
  const fs::path db = dir / "add.db";
  const fs::path trace = dir / "add.jsonl";
  const std::string request = AddRequest(0, n);

  // The statements the component sends, captured on an identical database (the
  // statements do not depend on how the database waits for the disk).
  PrepareAddRun(db, n);
  fs::remove(trace);
  setenv("QUILLOR_TRACE_SQL", trace.c_str(), 1);
  {
    com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
    Transact(*object, request, ConnectionText(db, "Normal"));
  }
  unsetenv("QUILLOR_TRACE_SQL");
  const std::vector<std::string> statements = TracedStatements(trace);

  PrepareAddRun(db, n);
  com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
  std::string reply;
  const Timing component =
      Measure([&] { reply = Transact(*object, request, ConnectionText(db, sync)); });
  const size_t written = Count(reply, "code=\"0\"");

  PrepareAddRun(db, n);
  const Timing baseline = Replay(db, statements, sync == "Full");

  if (!print) return {n, component.wall * 1e6 / n};
  std::printf(
      "ADD   sync=%-6s N=%-6d written=%-6zu statements=%-6zu %8.0f elements/s %8.2f us/element"
      " (cpu %6.2f)  baseline %8.2f us/element (cpu %6.2f)  ratio %.3f\n",
      sync.c_str(), n, written, statements.size(), n / component.wall, component.wall * 1e6 / n,
      component.cpu * 1e6 / n, baseline.wall * 1e6 / n, baseline.cpu * 1e6 / n,
      component.wall / baseline.wall);
  std::fflush(stdout);
  return {n, component.wall * 1e6 / n};
}

// Single-element calls through one object, on a fresh database each time: with
// the connection kept across calls (pooled) and with Pooling=false, where every
// call opens its connection and closes it (with the checkpoint at the close).
Timing TimeCalls(const fs::path& db, int calls, const std::string& conn) {
  MakeHostDatabase(db, calls);
  ConnectionPool::ForProcess().CloseIdle();
  com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
  std::vector<std::string> requests;
  for (int i = 0; i < calls; ++i) requests.push_back(AddRequest(i, 1));
  size_t written = 0;
  const Timing t = Measure([&] {
    for (const std::string& request : requests) {
      written += Count(Transact(*object, request, conn), "code=\"0\"");
    }
  });
  if (written != static_cast<size_t>(calls)) {
    std::fprintf(stderr, "only %zu of %d calls wrote their line\n", written, calls);
    std::exit(1);
  }
  return t;
}

void BenchCalls(const fs::path& dir, int calls, const std::string& sync) {
  const fs::path db = dir / "calls.db";
  const std::string conn = ConnectionText(db, sync);
  const Timing unpooled = TimeCalls(db, calls, conn + ";Pooling=false");
  const Timing pooled = TimeCalls(db, calls, conn);
  std::printf("CALL sync=%s calls=%d pooled %.0f calls/s unpooled %.0f calls/s ratio %.2f\n",
              sync.c_str(), calls, calls / pooled.wall, calls / unpooled.wall,
              unpooled.wall / pooled.wall);
  std::printf(
      "CALL  sync=%-6s calls=%-5d pooled %8.1f us/call (cpu %6.1f)  unpooled %8.1f us/call"
      " (cpu %6.1f)  cpu ratio %.2f\n",
      sync.c_str(), calls, pooled.wall * 1e6 / calls, pooled.cpu * 1e6 / calls,
      unpooled.wall * 1e6 / calls, unpooled.cpu * 1e6 / calls, unpooled.cpu / pooled.cpu);
  std::fflush(stdout);
}

// The peak resident memory of `quillor transact` on one ADD request of about
// `megabytes` MB, in a process of its own, against the bound of twice the
// request's size plus 64 MiB.
void BenchAddMemory(const fs::path& dir, int megabytes) {
  const fs::path db = dir / "addmem.db";
  const fs::path request_file = dir / "addmem.xml";
  const size_t size = static_cast<size_t>(megabytes) << 20;
  int lines = 0;
  {
    std::string request = R"(<ufinterface roottag="material" docid="bench" proc="ADD">)";
    while (request.size() < size) request += Material(lines++) + "\n";
    request += "</ufinterface>";
    std::ofstream(request_file, std::ios::binary) << request;
  }
  MakeHostDatabase(db, lines);
  const std::string tool = (fs::read_symlink("/proc/self/exe").parent_path() / "quillor").string();
  const std::string conn = ConnectionText(db, "Normal");
  std::fflush(stdout);
  const Clock::time_point start = Clock::now();
  const rusage usage = RunChild(tool, {"quillor", "transact", "--connection", conn, request_file},
                                "quillor transact failed on the ADD request", true);
  const double wall = Seconds(start);
  const double request_mib = static_cast<double>(fs::file_size(request_file)) / (1 << 20);
  const double peak_mib = static_cast<double>(usage.ru_maxrss) / 1024;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  std::printf(
      "ADDMEM request %.1f MiB (%d lines) quillor transact peak RSS %.1f MiB bound %.1f MiB"
      " (2x request + 64 MiB) peak/request %.2f  %.1f s (cpu %.1f)\n",
      request_mib, lines, peak_mib, 2 * request_mib + 64, peak_mib / request_mib, wall, cpu);
  std::fflush(stdout);
  fs::remove(request_file);
}

// Starts `quillor serve` beside this program on a free loopback port; returns its
// process and port (0 when it did not start).
std::pair<pid_t, int> StartServer(const std::string& conn) {
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
  const std::string quillor = (bin / "quillor").string();
  const std::string library = (bin.parent_path() / "lib/8.71/libquillor.so").string();
  int out[2];
  if (pipe(out) != 0) return {-1, 0};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    if (freopen("/dev/null", "w", stderr) == nullptr) _exit(127);  // no access log
    execl(quillor.c_str(), quillor.c_str(), "serve", "--connection", conn.c_str(), "--library",
          library.c_str(), "--listen", "127.0.0.1:0", "--threads", "2", nullptr);
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  const size_t colon = line.rfind(':');
  return {pid, colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1)};
}

// Single-element ADD requests over HTTP, one client with keep-alive, against the
// same calls through one object in process with the pooled connection.
void BenchHttp(const fs::path& dir, int calls, const std::string& sync) {
  const fs::path db = dir / "http.db";
  const std::string conn = ConnectionText(db, sync);
  const Timing in_process = TimeCalls(db, calls, conn);

  MakeHostDatabase(db, calls);
  const auto [pid, port] = StartServer(conn);
  if (port == 0) {
    std::fprintf(stderr, "quillor serve did not start\n");
    std::exit(1);
  }
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);  // as curl and most HTTP clients do
  std::vector<std::string> requests;
  for (int i = 0; i < calls; ++i) requests.push_back(AddRequest(i, 1));
  size_t written = 0;
  const Timing http = Measure([&] {
    for (const std::string& request : requests) {
      const auto answer = client.Post("/transact", request, "application/xml");
      if (answer && answer->status == 200) written += Count(answer->body, "code=\"0\"");
    }
  });
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  if (written != static_cast<size_t>(calls)) {
    std::fprintf(stderr, "only %zu of %d HTTP requests wrote their line\n", written, calls);
    std::exit(1);
  }
  std::printf(
      "HTTP  sync=%-6s requests=%-5d %8.0f requests/s over HTTP  %8.0f calls/s in process"
      "  ratio %.2f (target at least 0.5)\n",
      sync.c_str(), calls, calls / http.wall, calls / in_process.wall, in_process.wall / http.wall);
  std::fflush(stdout);
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

// The peak resident set of this process so far, in KiB.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (StartsWith(line, "VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

// What a QUERY child hands back to the bench: its times, its peak memory, the
// reply's length and a digest of its rows (to compare with the baseline's).
struct QueryFigures {
  double wall = 0;
  double cpu = 0;
  long peak_kib = 0;
  size_t reply_bytes = 0;
  uint64_t rows_digest = 0;
};

uint64_t Digest(std::string_view text) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// The row elements of a reply: from the first to the end of the last.
std::string_view RowsOf(std::string_view reply) {
  const size_t first = reply.find("<material ");
  const size_t last = reply.rfind("</material>");
  if (first == std::string_view::npos || last == std::string_view::npos) return {};
  return reply.substr(first, last + std::strlen("</material>") - first);
}

void WriteQueryFigures(const fs::path& file, const Timing& t, long peak_kib,
                       const std::string& reply) {
  std::ofstream out(file);
  out << t.wall << ' ' << t.cpu << ' ' << peak_kib << ' ' << reply.size() << ' '
      << Digest(RowsOf(reply)) << '\n';
}

QueryFigures ReadQueryFigures(const fs::path& file) {
  QueryFigures f;
  std::ifstream in(file);
  in >> f.wall >> f.cpu >> f.peak_kib >> f.reply_bytes >> f.rows_digest;
  return f;
}

// The QUERY itself, in a process of its own so that its peak memory is its own.
int QueryChild(const fs::path& db, int rows, int page_size, const std::string& sync,
               const fs::path& figures_file = {}) {
  PageSink sink;
  com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
  if (page_size > 0) {
    com::IDispatch* caller = &sink;
    bool ok = false;
    object->AddObjectReference(&caller, &ok);
  }
  const std::string request =
      "<ufinterface roottag=\"material\" docid=\"q\" proc=\"QUERY\" paginate=\"" +
      std::to_string(page_size) + "\"/>";
  const long before = PeakResidentKiB();
  std::string reply;
  const Timing t = Measure([&] { reply = Transact(*object, request, ConnectionText(db, sync)); });
  const size_t in_reply = Count(reply, "<material ");
  const long peak = PeakResidentKiB();
  std::printf(
      "QUERY sync=%-6s rows=%-6d pages of %-5d %8.0f rows/s (cpu %8.0f)  peak RSS %6.1f MiB"
      " (%5.1f MiB before the call)  %d pages, %zu rows in the reply\n",
      sync.c_str(), rows, page_size, rows / t.wall, rows / t.cpu, peak / 1024.0, before / 1024.0,
      sink.pages, in_reply);
  std::fflush(stdout);
  if (!figures_file.empty()) WriteQueryFigures(figures_file, t, peak, reply);
  const bool whole = page_size > 0 ? sink.pages == (rows + page_size - 1) / page_size
                                   : in_reply == static_cast<size_t>(rows);
  if (!whole) std::fprintf(stderr, "the QUERY did not give every row\n");
  return whole ? 0 : 1;
}

void BenchQuery(const fs::path& db, int rows, int page_size, const std::string& sync,
                const fs::path& figures_file = {}) {
  std::fflush(stdout);
  RunChild("/proc/self/exe",
           {"quillor_bench", "--query-child", db, std::to_string(rows), std::to_string(page_size),
            sync, figures_file},
           "the QUERY run failed");
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

// The baseline for QUERY: a plain program over the SQLite C API that runs the
// statement the component sends (as the dialect adapts it) and writes each row
// as the same material element with its fields into one growing text.
std::string QueryStatementSent(const fs::path& db) {
  const ReleaseProfile& profile = Release871();
  // No conditions: the statement ends with its separator.
  std::string statement = JoinPieces(profile.query_statement_pieces);
  statement += profile.query_condition_separator;
  return OpenConnection(ConnectionText(db, "Normal"))->SentText(statement);
}

// The element names the record mapper gives the statement's columns.
std::string FieldOfColumn(std::string column) {
  static const std::vector<std::pair<std::string, std::string>> kFields{
      {"cdeptid", "departmentno"}, {"cppid", "productno"},    {"cmatid", "inventoryno"},
      {"cbatch", "serial"},        {"iprice", "price"},       {"iqua", "quantity"},
      {"iperiod", "period"},       {"imatqua", "totalmoney"}, {"irdcode", "irdcode"},
      {"cfree1", "free1"},         {"cfree2", "free2"},       {"cfree3", "free3"},
      {"cfree4", "free4"},         {"cfree5", "free5"},       {"cfree6", "free6"},
      {"cfree7", "free7"},         {"cfree8", "free8"},       {"cfree9", "free9"},
      {"cfree10", "free10"},       {"cbomver", "bomver"},     {"cbomvertd", "bomvertd"},
      {"cmocode", "mocode"},       {"cmosubsn", "mosubsn"},   {"cmoroutesn", "moroutesn"},
      {"ompflag", "ompflag"}};
  column = AsciiLower(column);
  for (const auto& [name, field] : kFields) {
    if (name == column) return field;
  }
  return column;
}

void AppendEscapedText(std::string& out, const char* text, size_t size) {
  const char* run = text;
  const char* const end = text + size;
  for (const char* p = text; p < end; ++p) {
    const char* ref = *p == '&'    ? "&amp;"
                      : *p == '<'  ? "&lt;"
                      : *p == '>'  ? "&gt;"
                      : *p == '\r' ? "&#13;"
                                   : nullptr;
    if (ref == nullptr) continue;
    out.append(run, static_cast<size_t>(p - run));
    out += ref;
    run = p + 1;
  }
  out.append(run, static_cast<size_t>(end - run));
}

QueryFigures BaselineQuery(const fs::path& db, const std::string& statement) {
  QueryFigures figures;
  std::string out;
  const Timing t = Measure([&] {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle, statement.c_str(), static_cast<int>(statement.size()), &stmt,
                           nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "baseline: %s\n", sqlite3_errmsg(handle));
      std::exit(1);
    }
    const int columns = sqlite3_column_count(stmt);
    std::vector<std::string> start(static_cast<size_t>(columns));
    std::vector<std::string> end(static_cast<size_t>(columns));
    std::vector<std::string> empty(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      const std::string field = FieldOfColumn(sqlite3_column_name(stmt, c));
      start[static_cast<size_t>(c)] = "<" + field + ">";
      end[static_cast<size_t>(c)] = "</" + field + ">";
      empty[static_cast<size_t>(c)] = "<" + field + "/>";
    }
    char id[16];
    for (int row = 1; sqlite3_step(stmt) == SQLITE_ROW; ++row) {
      out += "<material id=\"";
      out.append(id, static_cast<size_t>(std::snprintf(id, sizeof id, "%d", row)));
      out += "\">";
      for (int c = 0; c < columns; ++c) {
        const size_t at = static_cast<size_t>(c);
        // Numbers as the component writes them: integers in decimal, reals in
        // their shortest exact form; texts escaped.
        char number[32];
        const char* text = number;
        size_t size = 0;
        switch (sqlite3_column_type(stmt, c)) {
          case SQLITE_INTEGER:
            size = static_cast<size_t>(
                std::to_chars(number, number + sizeof number, sqlite3_column_int64(stmt, c)).ptr -
                number);
            break;
          case SQLITE_FLOAT: {
            const double value = sqlite3_column_double(stmt, c);
            size = value == 0.0
                       ? (number[0] = '0', 1)
                       : static_cast<size_t>(
                             std::to_chars(number, number + sizeof number, value).ptr - number);
            break;
          }
          case SQLITE_NULL:
            break;
          default:
            text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            size = static_cast<size_t>(sqlite3_column_bytes(stmt, c));
        }
        if (size == 0) {
          out += empty[at];
          continue;
        }
        out += start[at];
        AppendEscapedText(out, text, size);
        out += end[at];
      }
      out += "</material>";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(handle);
  });
  figures.wall = t.wall;
  figures.cpu = t.cpu;
  figures.reply_bytes = out.size();
  figures.rows_digest = Digest(out);
  return figures;
}

// The best (least) time of several runs, with the figures of that run; memory
// is the same in every run.
QueryFigures Best(const std::vector<QueryFigures>& runs) {
  QueryFigures best = runs.front();
  for (const QueryFigures& f : runs) {
    if (f.wall < best.wall) best = f;
  }
  for (const QueryFigures& f : runs) best.cpu = std::min(best.cpu, f.cpu);
  return best;
}

// The baseline in a process of its own, as the component's QUERY runs: a fresh
// process has none of the memory an earlier run left behind to reuse.
int BaselineChild(const fs::path& db, const fs::path& figures_file) {
  const QueryFigures f = BaselineQuery(db, QueryStatementSent(db));
  std::ofstream out(figures_file);
  out << f.wall << ' ' << f.cpu << ' ' << PeakResidentKiB() << ' ' << f.reply_bytes << ' '
      << f.rows_digest << '\n';
  return 0;
}

QueryFigures BaselineInChild(const fs::path& dir, const fs::path& db) {
  const fs::path file = dir / "baseline-figures.txt";
  fs::remove(file);
  std::fflush(stdout);
  RunChild("/proc/self/exe", {"quillor_bench", "--baseline-child", db, file},
           "the baseline run failed");
  return ReadQueryFigures(file);
}

QueryFigures ComponentQuery(const fs::path& dir, const fs::path& db, int rows, int page_size,
                            const std::string& sync) {
  const fs::path file = dir / "query-figures.txt";
  fs::remove(file);
  BenchQuery(db, rows, page_size, sync, file);
  return ReadQueryFigures(file);
}

// QUERY without pages and in pages of 1,000, each beside the baseline measured in
// the same run (each in a fresh process, the best of three runs each, taken in turn), then the
// targets: time at most 1.5 times the baseline's, unpaged peak memory at most 2.5 times the reply
// plus 32 MiB, paged memory flat from 10,000 to 100,000 rows.
void BenchQueries(const fs::path& dir, bool quick, const std::string& only_sync) {
  constexpr int kPageSize = 1000;
  constexpr int kRuns = 3;
  const std::vector<int> sizes = quick ? std::vector<int>{10000} : std::vector<int>{10000, 100000};
  for (const std::string sync : {"Normal", "Full"}) {
    if (!only_sync.empty() && sync != only_sync) continue;
    std::vector<QueryFigures> paged_at;
    for (int rows : sizes) {
      const fs::path db = dir / ("query" + std::to_string(rows) + ".db");
      if (!fs::exists(db)) MakeQueryDatabase(db, rows);
      std::vector<QueryFigures> base, unpaged, paged;
      for (int run = 0; run < kRuns; ++run) {
        base.push_back(BaselineInChild(dir, db));
        unpaged.push_back(ComponentQuery(dir, db, rows, 0, sync));
        paged.push_back(ComponentQuery(dir, db, rows, kPageSize, sync));
      }
      const QueryFigures b = Best(base), u = Best(unpaged), p = Best(paged);
      paged_at.push_back(p);
      const double mib = 1024.0 * 1024.0;
      const double limit_mib = 2.5 * static_cast<double>(u.reply_bytes) / mib + 32;
      std::printf(
          "QUERY sync=%-6s rows=%-6d baseline %8.0f rows/s (cpu %8.0f)  rows the same as the "
          "reply's: %s\n",
          sync.c_str(), rows, rows / b.wall, rows / b.cpu,
          b.rows_digest == u.rows_digest ? "yes" : "NO");
      std::printf(
          "QUERY sync=%-6s rows=%-6d unpaged time / baseline %.2f (cpu %.2f, target 1.5)  "
          "paged time / baseline %.2f (cpu %.2f, target 1.5)\n",
          sync.c_str(), rows, u.wall / b.wall, u.cpu / b.cpu, p.wall / b.wall, p.cpu / b.cpu);
      std::printf(
          "QUERY sync=%-6s rows=%-6d unpaged peak %.1f MiB, reply %.1f MiB: target 2.5 x reply + "
          "32 MiB = %.1f MiB, %s\n",
          sync.c_str(), rows, u.peak_kib / 1024.0, static_cast<double>(u.reply_bytes) / mib,
          limit_mib, u.peak_kib / 1024.0 <= limit_mib ? "held" : "NOT held");
      std::fflush(stdout);
    }
    if (paged_at.size() >= 2) {
      std::printf("QUERY sync=%-6s paged peak at rows=%d / at rows=%d: %.2f (target 1.5)\n",
                  sync.c_str(), sizes.back(), sizes.front(),
                  static_cast<double>(paged_at.back().peak_kib) /
                      static_cast<double>(paged_at.front().peak_kib));
      std::fflush(stdout);
    }
  }
}

}  // namespace
}  // namespace quillor

int main(int argc, char** argv) {
  using namespace quillor;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "--baseline-child") return BaselineChild(args[1], args[2]);
  if (args.size() == 6 && args[0] == "--query-child") {
    return QueryChild(args[1], std::stoi(args[2]), std::stoi(args[3]), args[4], args[5]);
  }
  bool quick = false;
  std::string only;
  std::string only_sync;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--quick") {
      quick = true;
    } else if (args[i] == "--only" && i + 1 < args.size()) {
      only = args[++i];
    } else if (args[i] == "--sync" && i + 1 < args.size()) {
      only_sync = args[++i];
    } else {
      std::fprintf(stderr,
                   "usage: quillor_bench [--quick] [--only add|calls|addmem|query|http] [--sync "
                   "Normal|Full]\n");
      return 2;
    }
  }
  auto runs = [&](const char* part) { return only.empty() || only == part; };
  char tmpl[] = "/tmp/quillor-bench-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) return 1;
  const fs::path dir = tmpl;

  // An unprinted run first, so that the first figure does not carry the cost of
  // a cold start (page cache, allocator, the library's first use).
  if (runs("add")) BenchAdd(dir, 1000, "Normal", false);
  for (const std::string sync : {"Normal", "Full"}) {
    if (!only_sync.empty() && sync != only_sync) continue;
    if (runs("add")) {
      std::vector<int> sizes = {1000, 10000};
      // Every commit waits for the disk under Full: the largest batch runs under
      // Normal only.
      if (sync == "Normal" && !quick) sizes.push_back(100000);
      std::vector<AddFigures> figures;
      for (int n : sizes) figures.push_back(BenchAdd(dir, n, sync));
      std::printf("ADD   sync=%-6s time per element at N=%d / at N=%d: %.3f\n", sync.c_str(),
                  figures.back().n, figures.front().n,
                  figures.back().us_per_element / figures.front().us_per_element);
    }
    if (runs("calls")) BenchCalls(dir, 1000, sync);
  }
  if (runs("addmem")) BenchAddMemory(dir, quick ? 10 : 50);
  if (runs("query")) BenchQueries(dir, quick, only_sync);
  if (runs("http")) BenchHttp(dir, 1000, only_sync.empty() ? "Normal" : only_sync);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
