// What the bench's parts share: timing, child processes, host databases, requests
// and the replay of traced statements through the SQLite C API.
#pragma once

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
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/component_library.h"

namespace quillor::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Timing {
  double wall = 0;
  double cpu = 0;
};

double Seconds(Clock::time_point since);

// `environment`: NAME=VALUE entries the child gets beside this process's own.
rusage RunChild(const std::string& program, const std::vector<std::string>& args,
                const char* failure, bool quiet = false,
                const std::vector<std::string>& environment = {});

double CpuSeconds();

std::string ConnectionText(const fs::path& db, const std::string& sync);

// The 8.71 release library of this build (lib/8.71/libquillor.so beside bin/),
// loaded once; a library that does not load ends the bench with the reason.
std::string ReleaseLibraryPath();
std::shared_ptr<const ComponentLibrary> Component();

// A SQLite database file opened through the SQLite C API, as a plain program
// opens it, for what the bench writes and reads beside the component.
class SqliteDatabase {
 public:
  explicit SqliteDatabase(const fs::path& db);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;
  sqlite3* get() const { return handle_; }

 private:
  sqlite3* handle_ = nullptr;
};

// A fresh host database (its tables made by the library) with the master rows
// of `items` distinct inventory codes and one cost object.
void MakeHostDatabase(const fs::path& db, int items);
// The rows of the department, batch and cost object that every bench line's
// elements name, as statements any engine takes.
const std::vector<std::string>& CostObjectRows();

std::string Material(int i);

std::string AddRequest(int first, int count);

// One call through `object`; a call that fails ends the bench. The reply is the
// library's own text, read in place.
LibraryText Transact(ComponentObject& object, const std::string& request, const std::string& conn);

size_t Count(std::string_view text, std::string_view what);

// The statement of one trace line: what the database received ("sent" where the
// text was adapted, else "sql").
std::string StatementOfTraceLine(std::string_view line);
// The statements one 8.71 call of `request` sends, captured through the call's
// trace receiver.
std::vector<std::string> StatementsOfCall(const std::string& request,
                                          const std::string& connection);

bool StartsWith(const std::string& text, const char* prefix);

void Exec(sqlite3* handle, const std::string& sql);

Timing Replay(const fs::path& db, const std::vector<std::string>& statements, bool full);

void PrepareAddRun(const fs::path& db, int n);

template <typename Work>
Timing Measure(Work&& work) {
  const double cpu = CpuSeconds();
  const Clock::time_point start = Clock::now();
  work();
  return {Seconds(start), CpuSeconds() - cpu};
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

// The QUERY (page_size 0: unpaged) in a fresh process, on a database file or on
// a server's connection text given in its place.
QueryFigures ComponentQuery(const fs::path& dir, const fs::path& db, int rows, int page_size,
                            const std::string& sync);
// The best (least) time of several runs.
QueryFigures Best(const std::vector<QueryFigures>& runs);
// The statement of a QUERY without conditions as the connection's backend sends
// it, read from the trace of such a call on that connection.
std::string QueryStatementSentOn(const std::string& connection);

// `calls` single-element 8.71 ADDs in process on a fresh host database, spread
// over `threads` threads (request i on thread i % threads), each with an object
// of its own; every call must write its line, or the bench ends.
Timing TimeCalls(const fs::path& db, int calls, const std::string& conn, size_t threads = 1);

// Starts `quillor serve` (8.71, two workers) beside this program on a free
// loopback port, its access log written to `access_log` (none when empty);
// returns its process and port. A server that does not start ends the bench.
std::pair<pid_t, int> StartServer(const std::string& conn, const fs::path& access_log = {});

// The parts, each printing its figures (bench_add.cpp, bench_query.cpp).
struct AddFigures {
  int n;
  double us_per_element;
};
AddFigures BenchAdd(const fs::path& dir, int n, const std::string& sync, bool print = true);
void BenchCalls(const fs::path& dir, int calls, const std::string& sync);
void BenchAddMemory(const fs::path& dir, int megabytes);
void BenchLongTextMemory(const fs::path& dir, const std::string& conn, const std::string& tool,
                         int megabytes);
void BenchHttp(const fs::path& dir, int calls, const std::string& sync);
// Only the HTTP lines of the server's own cost (their own figures and nginx's).
void BenchHttpOwnCost(const fs::path& dir, int calls, const std::string& sync);
void BenchQueries(const fs::path& dir, bool quick, const std::string& only_sync);
// On the PostgreSQL server of that connection text; skipped (and said so) without one.
void BenchPostgres(const fs::path& dir, const std::string& connection, bool quick);
// The children the query part starts, in fresh processes for their peak memory.
int QueryChild(const fs::path& db, int rows, int page_size, const std::string& sync,
               const fs::path& figures_file = {});
int BaselineChild(const fs::path& db, const fs::path& figures_file, const fs::path& statement_file);

}  // namespace quillor::bench
