// ADD: batches against their replayed statements, single calls, memory.
#include "bench/bench_support.h"

#include <atomic>
#include <optional>
#include <thread>

namespace quillor::bench {

AddFigures BenchAdd(const fs::path& dir, int n, const std::string& sync, bool print) {
  const fs::path db = dir / "add.db";
  const std::string request = AddRequest(0, n);

  // The statements the component sends, captured on an identical database (the
  // statements do not depend on how the database waits for the disk).
  PrepareAddRun(db, n);
  const std::vector<std::string> statements =
      StatementsOfCall(request, ConnectionText(db, "Normal"));

  PrepareAddRun(db, n);
  ComponentObject object(Component());
  std::optional<LibraryText> reply;
  const Timing component =
      Measure([&] { reply.emplace(Transact(object, request, ConnectionText(db, sync))); });
  const size_t written = Count(reply->view(), "code=\"0\"");

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
// Idle connections an earlier run left in the pool under the same text are of the
// file MakeHostDatabase replaced: the pool's check before a call closes such a
// connection and opens the new file, so none of them serves these calls.
Timing TimeCalls(const fs::path& db, int calls, const std::string& conn, size_t threads) {
  MakeHostDatabase(db, calls);
  std::vector<std::string> requests;
  for (int i = 0; i < calls; ++i) requests.push_back(AddRequest(i, 1));
  std::atomic<size_t> written{0};
  // One thread calls on the bench's own thread, as the bench always has; an
  // object is used on the thread that made it, as a host's apartment would.
  auto calls_of = [&](size_t k) {
    ComponentObject object(Component());
    for (size_t i = k; i < requests.size(); i += threads) {
      written += Count(Transact(object, requests[i], conn).view(), "code=\"0\"");
    }
  };
  const Timing t = Measure([&] {
    if (threads == 1) return calls_of(0);
    std::vector<std::thread> running;
    for (size_t k = 0; k < threads; ++k) running.emplace_back(calls_of, k);
    for (std::thread& thread : running) thread.join();
  });
  if (written != static_cast<size_t>(calls)) {
    std::fprintf(stderr, "only %zu of %d calls wrote their line\n", written.load(), calls);
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

// The peak resident memory of a process, from the kernel's high-water mark.
double PeakMiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024;
  }
  return 0;
}

// The peak resident memory of `quillor serve` (two workers) answering the same
// request as one POST, beside the in-process call's peak: the server reads the
// envelope without a tree and hands the body on, so it should cost little more.
double ServePeakMiB(const fs::path& db, int lines, const fs::path& request_file) {
  MakeHostDatabase(db, lines);
  const auto [pid, port] = StartServer(ConnectionText(db, "Normal"));
  std::string body;
  {
    std::ifstream in(request_file, std::ios::binary);
    body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(600, 0);
  client.set_write_timeout(600, 0);
  const auto answer = client.Post("/transact", body, "application/xml");
  const double peak = PeakMiB(pid);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  if (!answer || answer->status != 200 ||
      Count(answer->body, "code=\"0\"") != static_cast<size_t>(lines)) {
    std::fprintf(stderr, "quillor serve did not store every line of the ADD request\n");
    std::exit(1);
  }
  return peak;
}

// The peak resident memory of `quillor transact` on one ADD request of about
// `megabytes` MB, in a process of its own, against the bound of twice the
// request's size plus 64 MiB; then the same request through `quillor serve`.
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
  const double serve_mib = ServePeakMiB(db, lines, request_file);
  std::printf(
      "ADDMEM the same request through quillor serve: peak RSS %.1f MiB, %.1f MiB above"
      " quillor transact (target at most 16 MiB above)\n",
      serve_mib, serve_mib - peak_mib);
  std::fflush(stdout);
  fs::remove(request_file);
  BenchLongTextMemory(dir, conn, tool, megabytes);
}

// The peak of `quillor transact` on requests of one text of about `megabytes` MB,
// in each place a text can stand (a QUERY that matches no row), against the
// same bound. Each request is written to its file in pieces: the bench holds
// none of it when the child starts, whose peak counts what it had before it ran
// the program.
void BenchLongTextMemory(const fs::path& dir, const std::string& conn, const std::string& tool,
                         int megabytes) {
  const std::string query_start =
      R"(<ufinterface roottag="material" docid="bench" proc="QUERY" paginate="0"><material>)";
  const std::string query_end =
      R"(<field name="cDeptID" operation="=" value="none"/></material></ufinterface>)";
  const std::string add_start = R"(<ufinterface roottag="material" docid="bench" proc="ADD">)";
  const std::string add_end = Material(0) + "</ufinterface>";
  struct Shape {
    const char* name;
    std::string before, after;
  };
  const Shape shapes[] = {
      {"QUERY, a text", query_start + "<pad>", "</pad>" + query_end},
      {"QUERY, an attribute", query_start + "<pad note=\"", "\"/>" + query_end},
      {"QUERY, a CDATA section", query_start + "<![CDATA[", "]]>" + query_end},
      {"QUERY, a comment", query_start + "<!--", "-->" + query_end},
      {"ADD, an attribute", add_start + "<pad note=\"", "\"/>" + add_end},
  };
  const fs::path request_file = dir / "textmem.xml";
  const std::string piece(1 << 20, 'x');
  for (const Shape& shape : shapes) {
    {
      std::ofstream out(request_file, std::ios::binary);
      out << shape.before;
      for (int i = 0; i < megabytes; ++i) out << piece;
      out << shape.after;
    }
    const uintmax_t size = fs::file_size(request_file);
    const std::string bounded = conn + ";Max Request Size=" + std::to_string(size);
    const rusage usage =
        RunChild(tool, {"quillor", "transact", "--connection", bounded, request_file},
                 "quillor transact failed on a request of one long text", true);
    const double request_mib = static_cast<double>(size) / (1 << 20);
    std::printf("ADDMEM %s of %.1f MiB: peak RSS %.1f MiB bound %.1f MiB\n", shape.name,
                request_mib, static_cast<double>(usage.ru_maxrss) / 1024, 2 * request_mib + 64);
    std::fflush(stdout);
  }
  fs::remove(request_file);
}

}  // namespace quillor::bench
