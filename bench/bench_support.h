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
#include <string>
#include <vector>

#include "component/material_component.h"
#include "platform/base/text.h"
#include "platform/db/connection_pool.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "profiles/release_profile.h"
#include "schema/host_schema.h"

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

void MakeHostDatabase(const fs::path& db, int items);
// The department, batch and cost object that every bench line's elements name.
void InsertCostObject(Connection& conn);

std::string Material(int i);

std::string AddRequest(int first, int count);

std::string Transact(MaterialComponent& object, const std::string& request,
                     const std::string& conn);

size_t Count(const std::string& text, const std::string& what);

std::vector<std::string> TracedStatements(const fs::path& trace);
// The statements one 8.71 call of `request` sends, captured through the SQL trace
// in `trace`.
std::vector<std::string> StatementsOfCall(const std::string& request, const std::string& connection,
                                          const fs::path& trace);

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
// The QUERY's statement as the connection's backend sends it.
std::string QueryStatementSentOn(const std::string& connection);
// Runs one traced statement on the connection, reading every row of a result.
void RunStatement(Connection& conn, const std::string& sql);

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
int BaselineChild(const fs::path& db, const fs::path& figures_file);

}  // namespace quillor::bench
