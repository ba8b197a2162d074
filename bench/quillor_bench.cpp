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
//      beside the same calls in process through the pool; the floor (a bare
//      loopback round trip of the same sizes) and the same requests from 2, 4
//      and 8 clients at once;
//      (--only owncost: only the server's own cost held against nginx's);
//   7. on the PostgreSQL server that $QUILLOR_BENCH_PG_CONNECTION names (scripts/bench
//      starts a throwaway one): QUERY unpaged and paged with their peaks beside the
//      same rows moved by psql, and ADD beside the replay of its own statements.
//
// Usage: quillor_bench [--quick] [--only add|calls|addmem|query|http|owncost|pg]
//                      [--sync Normal|Full] [--http-requests N]
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"

int main(int argc, char** argv) {
  using namespace quillor::bench;  // NOLINT(google-build-using-namespace)
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == "--baseline-child") {
    return BaselineChild(args[1], args[2], args[3]);
  }
  if (args.size() == 6 && args[0] == "--query-child") {
    return QueryChild(args[1], std::stoi(args[2]), std::stoi(args[3]), args[4], args[5]);
  }
  bool quick = false;
  std::string only;
  std::string only_sync;
  int http_requests = 1000;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--quick") {
      quick = true;
    } else if (args[i] == "--only" && i + 1 < args.size()) {
      only = args[++i];
    } else if (args[i] == "--sync" && i + 1 < args.size()) {
      only_sync = args[++i];
    } else if (args[i] == "--http-requests" && i + 1 < args.size()) {
      http_requests = std::max(1, std::atoi(args[++i].c_str()));
    } else {
      std::fprintf(stderr,
                   "usage: quillor_bench [--quick] [--only add|calls|addmem|query|http|owncost|pg] "
                   "[--sync Normal|Full] [--http-requests N]\n");
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
  const std::string http_sync = only_sync.empty() ? "Normal" : only_sync;
  if (runs("http")) BenchHttp(dir, http_requests, http_sync);
  if (only == "owncost") BenchHttpOwnCost(dir, http_requests, http_sync);
  if (runs("pg")) {
    const char* pg = std::getenv("QUILLOR_BENCH_PG_CONNECTION");
    BenchPostgres(dir, pg ? pg : "", quick);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
