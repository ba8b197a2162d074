#include "bench/bench_support.h"

#include <malloc.h>

namespace quillor::bench {

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Runs a program in a child process and waits for it; the bench stops with the
// failure's text when the child does not end with 0. Quiet children write their
// standard output to /dev/null. Gives the child's resource use.
rusage RunChild(const std::string& program, const std::vector<std::string>& args,
                const char* failure, bool quiet, const std::vector<std::string>& environment) {
  std::fflush(stdout);
  // Made before the fork: the child only calls what is safe after it.
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  // A child's peak starts from what it was forked with: the pages this process
  // holds free are handed back first.
  malloc_trim(0);
  const pid_t child = fork();
  if (child == 0) {
    if (quiet) dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    execve(program.c_str(), argv.data(), envp.data());
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

std::string ConnectionText(const fs::path& db, const std::string& sync) {
  return "Provider=SQLite;Data Source=" + db.string() + ";Synchronous=" + sync;
}

std::string ReleaseLibraryPath() {
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
  return (bin.parent_path() / "lib/8.71/libquillor.so").string();
}

std::shared_ptr<const ComponentLibrary> Component() {
  static const std::shared_ptr<const ComponentLibrary> library = [] {
    try {
      return ComponentLibrary::Load(ReleaseLibraryPath(), "8.71");
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "%s\n", failure.what());
      std::exit(1);
    }
  }();
  return library;
}

SqliteDatabase::SqliteDatabase(const fs::path& db) {
  if (sqlite3_open_v2(db.c_str(), &handle_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    std::fprintf(stderr, "%s: %s\n", db.c_str(), sqlite3_errmsg(handle_));
    std::exit(1);
  }
  sqlite3_busy_timeout(handle_, 5000);
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close(handle_); }

const std::vector<std::string>& CostObjectRows() {
  static const std::vector<std::string> rows = {
      "insert into ca_depDf values('D01',1)", "insert into ca_pronb values('B1')",
      "insert into caq_coreal(iRealCOID,cDeptID,InvCode) values(1001,'D01','P100')",
      "insert into ca_batchmap(iRealCOID,cDeptID,InvCode,cbatch) values(1001,'D01','P100','B1')"};
  return rows;
}

std::vector<std::string> StatementsOfCall(const std::string& request,
                                          const std::string& connection) {
  std::vector<std::string> statements;
  ComponentObject object(Component());
  const CallReply reply = object.Transact(request, connection, [&](std::string_view line) {
    statements.push_back(StatementOfTraceLine(line));
  });
  if (reply.status < 0) {
    std::fprintf(stderr, "Transact failed: %.300s\n", std::string(reply.text.view()).c_str());
    std::exit(1);
  }
  return statements;
}

// Master data for `items` distinct inventory codes and one cost object, on
// tables the library makes as it makes a host's.
void MakeHostDatabase(const fs::path& db, int items) {
  fs::remove(db);
  fs::remove(db.string() + "-wal");
  fs::remove(db.string() + "-shm");
  try {
    Component()->InitDatabase(ConnectionText(db, "Normal"));
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    std::exit(1);
  }
  SqliteDatabase conn(db);
  Exec(conn.get(), "begin");
  for (const std::string& row : CostObjectRows()) Exec(conn.get(), row);
  for (int i = 0; i < items; ++i) {
    Exec(conn.get(), "insert into Inventory values('M" + std::to_string(i) + "','material')");
  }
  Exec(conn.get(), "commit");
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

LibraryText Transact(ComponentObject& object, const std::string& request, const std::string& conn) {
  CallReply reply = object.Transact(request, conn);
  if (reply.status < 0) {
    std::fprintf(stderr, "Transact failed: %.300s\n", std::string(reply.text.view()).c_str());
    std::exit(1);
  }
  return std::move(reply.text);
}

size_t Count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string StatementOfTraceLine(std::string_view line) {
  size_t at = line.find("\"sent\": \"");
  at = at != std::string_view::npos ? at + 9 : line.find("\"sql\": \"") + 8;
  std::string s;
  for (size_t i = at; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char e = line[++i];
      s += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
    } else {
      s += line[i];
    }
  }
  return s;
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
  ComponentObject object(Component());
  Transact(object, AddRequest(0, n / 2), ConnectionText(db, "Normal"));
}

std::pair<pid_t, int> StartServer(const std::string& conn, const fs::path& access_log) {
  const std::string quillor =
      (fs::read_symlink("/proc/self/exe").parent_path() / "quillor").string();
  const std::string library = ReleaseLibraryPath();
  int out[2];
  if (pipe(out) != 0) {
    std::fprintf(stderr, "quillor serve did not start: no pipe\n");
    std::exit(1);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    const std::string log = access_log.empty() ? "/dev/null" : access_log.string();
    if (freopen(log.c_str(), "w", stderr) == nullptr) _exit(127);
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
  const int port = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
  if (port == 0) {
    std::fprintf(stderr, "quillor serve did not start\n");
    std::exit(1);
  }
  return {pid, port};
}

}  // namespace quillor::bench
