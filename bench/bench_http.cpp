// HTTP: single-element ADD requests to `quillor serve`, beside the same calls in
// process, the loopback floor, several clients at once, and the server's own
// processor time per request held against nginx answering a fixed text.
#include <atomic>
#include <thread>

#include "bench/bench_support.h"
#include "bench/http_client.h"
#include "bench/loopback_floor.h"
#include "bench/nginx_anchor.h"

namespace quillor::bench {
namespace {

// The same requests sent to a running server over `clients` keep-alive
// connections at once, each from a thread of its own with the client `post`
// makes (request i on connection i % clients): the time, the server's
// processor time, and the bench's own. Every request must be answered with its
// line written, or the bench ends.
struct HttpRun {
  Timing client;
  double server_cpu = 0;
};

template <typename Post>
HttpRun SendRequests(pid_t pid, int port, const std::vector<std::string>& requests, Post&& post,
                     size_t clients, const char* server) {
  HttpRun run;
  std::atomic<size_t> written{0};
  std::vector<decltype(post(port))> sends;
  for (size_t k = 0; k < clients; ++k) sends.push_back(post(port));
  const double server_before = ProcessCpuSeconds(pid);
  run.client = Measure([&] {
    std::vector<std::thread> threads;
    for (size_t k = 0; k < clients; ++k) {
      threads.emplace_back([&, k] {
        for (size_t i = k; i < requests.size(); i += clients) written += sends[k](requests[i]);
      });
    }
    for (std::thread& t : threads) t.join();
  });
  run.server_cpu = ProcessCpuSeconds(pid) - server_before;
  if (written != requests.size()) {
    std::fprintf(stderr, "only %zu of %zu HTTP requests to %s were answered with their line\n",
                 written.load(), requests.size(), server);
    std::exit(1);
  }
  return run;
}

// SendRequests to a fresh `quillor serve` on a fresh host database.
template <typename Post>
HttpRun TimeHttp(const fs::path& db, const std::string& conn,
                 const std::vector<std::string>& requests, Post&& post, size_t clients = 1,
                 const fs::path& access_log = {}) {
  MakeHostDatabase(db, static_cast<int>(requests.size()));
  const auto [pid, port] = StartServer(conn, access_log);
  const HttpRun run =
      SendRequests(pid, port, requests, std::forward<Post>(post), clients, "quillor serve");
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  return run;
}

// The bench's lean client as TimeHttp's `post`. `last`, when given, keeps the
// latest answer (for one connection only).
auto LeanClient(KeepAliveClient::Answer* last) {
  return [last](int port) {
    auto client = std::make_shared<KeepAliveClient>(port);
    return [client, last](const std::string& request) -> size_t {
      KeepAliveClient::Answer answer = client->Post("/transact", request, "application/xml");
      const size_t written = answer.status == 200 ? Count(answer.body, "code=\"0\"") : 0;
      if (last != nullptr) *last = std::move(answer);
      return written;
    };
  };
}

// The server's own processor time per request: its processor time less that of
// the same calls in process (on as many threads as clients), beside what nginx
// spends on a fixed answer of the same bytes with its JSON access log written to
// a file, on the same client. Both servers write their access log to a file.
void BenchOwnCost(const fs::path& dir, const fs::path& db, const std::string& conn,
                  const std::vector<std::string>& requests, const std::string& answer) {
  const double per_request = 1e6 / static_cast<double>(requests.size());
  const int calls = static_cast<int>(requests.size());
  NginxAnchor nginx(dir / "nginx", answer);
  if (nginx.pid() == 0) {
    std::printf("HTTP  own cost skipped: %s\n", nginx.why().c_str());
    return;
  }
  for (const size_t clients : {size_t{1}, size_t{8}}) {
    const Timing in_process = TimeCalls(db, calls, conn, clients);
    const HttpRun served =
        TimeHttp(db, conn, requests, LeanClient(nullptr), clients, dir / "serve-access.log");
    const HttpRun anchor =
        SendRequests(nginx.pid(), nginx.port(), requests, LeanClient(nullptr), clients, "nginx");
    const double own = (served.server_cpu - in_process.cpu) * per_request;
    const double fixed = anchor.server_cpu * per_request;
    std::printf(
        "HTTP  own cost, %zu client%s: server %.1f us, nginx %.1f us per request, ratio %.2f "
        "(target at most 3)\n",
        clients, clients == 1 ? "" : "s", own, fixed, own / fixed);
    if (clients > 1) {
      std::printf(
          "HTTP  %zu clients: %8.0f requests/s, in process by %zu threads %8.0f calls/s, "
          "ratio %.2f (target at least 0.85)\n",
          clients, calls / served.client.wall, clients, calls / in_process.wall,
          in_process.wall / served.client.wall);
    }
  }
}

}  // namespace

// Single-element ADD requests over HTTP, one client with keep-alive, against the
// same calls through one object in process with the pooled connection. The
// ratio is taken with a client that costs next to nothing (one write per
// request, TCP_NODELAY); the same requests through cpp-httplib's client, which
// writes the head and the body apart and polls before each read and write, are
// printed beside it.
void BenchHttp(const fs::path& dir, int calls, const std::string& sync) {
  const fs::path db = dir / "http.db";
  const std::string conn = ConnectionText(db, sync);
  const Timing in_process = TimeCalls(db, calls, conn);
  std::vector<std::string> requests;
  for (int i = 0; i < calls; ++i) requests.push_back(AddRequest(i, 1));

  KeepAliveClient::Answer last;  // its sizes are those of the floor's exchange
  const HttpRun lean = TimeHttp(db, conn, requests, LeanClient(&last));
  const HttpRun library = TimeHttp(db, conn, requests, [](int port) {
    auto client = std::make_shared<httplib::Client>("127.0.0.1", port);
    client->set_keep_alive(true);
    client->set_tcp_nodelay(true);  // as curl and most HTTP clients do
    return [client](const std::string& request) {
      const auto answer = client->Post("/transact", request, "application/xml");
      return answer && answer->status == 200 ? Count(answer->body, "code=\"0\"") : 0;
    };
  });
  const double per_call = 1e6 / calls;
  std::printf(
      "HTTP  sync=%-6s requests=%-5d %8.0f requests/s over HTTP  %8.0f calls/s in process"
      "  ratio %.2f\n"
      "HTTP  cpu per request: server %.1f us, client %.1f us; in process %.1f us per call;"
      "  through cpp-httplib's client %.0f requests/s (ratio %.2f, client cpu %.1f us)\n",
      sync.c_str(), calls, calls / lean.client.wall, calls / in_process.wall,
      in_process.wall / lean.client.wall, lean.server_cpu * per_call, lean.client.cpu * per_call,
      in_process.cpu * per_call, calls / library.client.wall, in_process.wall / library.client.wall,
      library.client.cpu * per_call);
  // What the machine's round trip costs, with the two ends on one processor and
  // on two: a server's threads and its client may run either way.
  const double call = in_process.wall / calls;
  for (const auto& [where, name] : {std::pair{Placement::kSameProcessor, "on one processor"},
                                    std::pair{Placement::kOtherProcessor, "on two processors"}}) {
    const double floor = LoopbackRoundTrip(last.request_bytes, last.answer_bytes, calls, where);
    if (floor <= 0) continue;
    std::printf(
        "HTTP  floor %s: a loopback round trip of the same %zu and %zu bytes, answered at once, "
        "%.1f us (a request over HTTP %.1f us, a call in process %.1f us): a server that cost "
        "nothing would reach ratio %.2f\n",
        name, last.request_bytes, last.answer_bytes, floor * 1e6, lean.client.wall / calls * 1e6,
        call * 1e6, call / (call + floor));
  }
  // Several clients at once: the connection thread reads one request while a
  // worker serves another, beside the same calls in process one at a time.
  for (const size_t clients : {2, 4, 8}) {
    const HttpRun run = TimeHttp(db, conn, requests, LeanClient(nullptr), clients);
    std::printf(
        "HTTP  %zu clients at once: %8.0f requests/s, ratio %.2f to the calls in process one at a "
        "time; server cpu %.1f us per request\n",
        clients, calls / run.client.wall, in_process.wall / run.client.wall,
        run.server_cpu * per_call);
  }
  BenchOwnCost(dir, db, conn, requests, last.body);
  std::fflush(stdout);
}

void BenchHttpOwnCost(const fs::path& dir, int calls, const std::string& sync) {
  const fs::path db = dir / "http.db";
  const std::string conn = ConnectionText(db, sync);
  std::vector<std::string> requests;
  for (int i = 0; i < calls; ++i) requests.push_back(AddRequest(i, 1));
  // One request first, for the answer nginx is to give.
  KeepAliveClient::Answer last;
  TimeHttp(db, conn, {requests.front()}, LeanClient(&last));
  BenchOwnCost(dir, db, conn, requests, last.body);
  std::fflush(stdout);
}

}  // namespace quillor::bench
