#include "bench/bench_support.h"

#include "platform/base/freed_memory.h"

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
  ReturnFreedMemory();
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

void InsertCostObject(Connection& conn) {
  conn.Execute("insert into ca_depDf values('D01',1)");
  conn.Execute("insert into ca_pronb values('B1')");
  conn.Execute("insert into caq_coreal(iRealCOID,cDeptID,InvCode) values(1001,'D01','P100')");
  conn.Execute(
      "insert into ca_batchmap(iRealCOID,cDeptID,InvCode,cbatch) values(1001,'D01','P100','B1')");
}

std::vector<std::string> StatementsOfCall(const std::string& request, const std::string& connection,
                                          const fs::path& trace) {
  fs::remove(trace);
  {
    // The call's own trace: the process's environment stays as it was.
    com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
    CallHooks hooks;
    hooks.trace = FileTraceSink(trace.string());
    com::ComPtr<IOrvoLogin> login = MakeLogin(connection, object->profile().ids.login_iid);
    IOrvoLogin* raw = login.Get();
    std::string reply;
    if (com::Failed(object->TransactWith(request, &raw, &reply, hooks))) {
      std::fprintf(stderr, "Transact failed\n");
      std::exit(1);
    }
  }
  return TracedStatements(trace);
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
  InsertCostObject(*conn);
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

std::string Transact(MaterialComponent& object, const std::string& request,
                     const std::string& conn) {
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
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  Transact(*object, AddRequest(0, n / 2), ConnectionText(db, "Normal"));
}

std::pair<pid_t, int> StartServer(const std::string& conn, const fs::path& access_log) {
  const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
  const std::string quillor = (bin / "quillor").string();
  const std::string library = (bin.parent_path() / "lib/8.71/libquillor.so").string();
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
