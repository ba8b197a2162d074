// Hostile and careless connections through raw sockets: what is refused closes,
// what is pipelined is answered in order, body bytes never run as a request,
// and slow clients hold no worker.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <thread>

#include "testing/serve_fixture.h"
#include "testing/serve_socket.h"

namespace quillor::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Post(const std::string& path, const std::string& headers, const std::string& body) {
  return "POST " + path + " HTTP/1.1\r\nHost: x\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n" + headers + "\r\n" + body;
}

// A whole request for a stored line, to be hidden in the body of another.
std::string HiddenAdd() { return Post("/transact", "", ServeAddRequest({2})); }

struct Exchange {
  const char* what;
  std::string bytes;
  std::vector<int> statuses;  // every answer, in order
  bool closes;                // the server closes the connection after them
};

class ServeConnection : public ::testing::Test {
 protected:
  void SetUp() override { AddMasterRows(db_, 5); }
  std::string Rows() { return db_.Rows("select count(*) from ca_mabsw")[0][0]; }
  TestDb db_;
};

TEST_F(ServeConnection, RefusalsCloseAndPipelinedRequestsAreEachAnsweredOnce) {
  const std::string add = ServeAddRequest({1});
  const std::string padding(1500, ' ');
  const std::string health = "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n";
  std::string fields;
  for (int i = 0; i < 101; ++i) fields += "X-F" + std::to_string(i) + ": v\r\n";
  const std::vector<Exchange> table = {
      // A refused request's body is never read as the next request.
      {"413 with a request in its body", Post("/transact", "", HiddenAdd() + padding), {413}, true},
      {"404 with a request in its body", Post("/nowhere", "", HiddenAdd()), {404}, true},
      {"405 with a request in its body",
       "PUT /transact HTTP/1.1\r\nHost: x\r\nContent-Length: " +
           std::to_string(HiddenAdd().size()) + "\r\n\r\n" + HiddenAdd(),
       {405},
       true},
      {"415 with a request in its body",
       Post("/transact", "Content-Type: multipart/form-data; boundary=b\r\n", HiddenAdd()),
       {415},
       true},
      {"refused chunked body then a request",
       "POST /transact HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n800\r\n" +
           std::string(0x800, 'a') + "\r\n0\r\n\r\n" + HiddenAdd(),
       {413},
       true},
      // Expect: 100-continue is answered with the refusal when there is one.
      {"100-continue over the limit",
       Post("/transact", "Expect: 100-continue\r\n", padding),
       {413},
       true},
      {"100-continue to no such path",
       Post("/nowhere", "Expect: 100-continue\r\n", ""),
       {404},
       true},
      {"100-continue accepted",
       "POST /transact HTTP/1.1\r\nHost: x\r\nConnection: close\r\nExpect: 100-continue\r\n"
       "Content-Length: " +
           std::to_string(add.size()) + "\r\n\r\n" + add,
       {100, 200},
       true},
      // Pipelined requests, each answered once and in order.
      {"three pipelined requests",
       health + Post("/transact", "", add) + health,
       {200, 200, 200},
       false},
      {"a body that looks like a request is a body",
       Post("/transact", "", HiddenAdd()) + health,
       {200, 200},
       false},
      {"a refusal in the middle of a pipeline",
       health + "GET /nowhere HTTP/1.1\r\nHost: x\r\n\r\n" + health,
       {200, 404},
       true},
      // Bounds on the head.
      {"headers over 64 KiB",
       "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(70000, 'a') + "\r\n\r\n",
       {431},
       true},
      {"a megabyte of headers",
       "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(1 << 20, 'a') + "\r\n\r\n",
       {431},
       true},
      {"101 fields", "GET /healthz HTTP/1.1\r\nHost: x\r\n" + fields + "\r\n", {431}, true},
      {"request line over 8 KiB without an end", "GET /" + std::string(80000, 'a'), {414}, true},
      // Conformance.
      {"no Host", "GET /healthz HTTP/1.1\r\n\r\n", {400}, true},
      {"two Hosts", "GET /healthz HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", {400}, true},
      {"a space before the colon",
       "GET /healthz HTTP/1.1\r\nHost: x\r\nX-A : b\r\n\r\n",
       {400},
       true},
      {"a coding other than chunked",
       "POST /transact HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n" + HiddenAdd(),
       {501},
       true},
      {"chunked after another coding",
       "POST /transact HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n",
       {501},
       true},
      {"chunked with trailers",
       "POST /transact HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
           [&] {
             char size[16];
             std::snprintf(size, sizeof size, "%zx", add.size());
             return std::string(size);
           }() +
           "\r\n" + add + "\r\n0\r\nX-Trailer: t\r\n\r\n" + health,
       {200, 200},
       false},
      {"HTTP/1.0 without keep-alive", "GET /healthz HTTP/1.0\r\n\r\n", {200}, true},
  };

  // Every answer is logged here, the health checks that say ok included.
  ServeProcess server(
      ServeArgs(db_, {"--max-request-bytes", "1024", "--read-timeout", "3", "--log-healthz"}));
  for (const Exchange& e : table) {
    const int logged = LogLines(server.Err());
    RawConnection connection(server.port());
    ASSERT_TRUE(connection.connected()) << e.what;
    connection.Send(e.bytes);
    const std::string answer = connection.ReadAll(1500ms);
    EXPECT_EQ(Statuses(answer), e.statuses) << e.what << "\n" << answer.substr(0, 600);
    EXPECT_EQ(connection.closed(), e.closes) << e.what << "\n" << answer.substr(0, 600);
    if (e.closes && e.statuses.back() >= 400) {
      EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos) << e.what;
      // The refusal, the last answer, announces no wait for a next request.
      EXPECT_EQ(answer.substr(answer.rfind("HTTP/1.")).find("Keep-Alive"), std::string::npos)
          << e.what;
      // One refusal: one log line, and nothing of the body ran.
      EXPECT_EQ(LogLines(server.Err()) - logged,
                static_cast<int>(e.statuses.size()) - (e.statuses.front() == 100 ? 1 : 0))
          << e.what << "\n"
          << server.Err();
    }
    EXPECT_EQ(db_.Rows("select count(*) from ca_mabsw where cMatID = 'M2'")[0][0], "0") << e.what;
  }
  EXPECT_EQ(Rows(), "1");  // line 1, sent in the open
  // Nothing sent above ended the server.
  RawConnection last(server.port());
  last.Send("GET /healthz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(Statuses(last.ReadAll()), std::vector<int>{200});
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeConnection, AWrongTokenClosesWithoutReadingTheBody) {
  TempDir dir;
  const std::string tokens = WriteTokensFile(dir.path().string(), "right-token\n");
  ServeProcess server(ServeArgs(db_, {"--tokens", tokens}));
  for (const std::string& expect : {std::string(), std::string("Expect: 100-continue\r\n")}) {
    RawConnection connection(server.port());
    connection.Send(Post("/transact", "Authorization: Bearer wrong\r\n" + expect, HiddenAdd()));
    const std::string answer = connection.ReadAll(1500ms);
    EXPECT_EQ(Statuses(answer), std::vector<int>{401}) << answer;
    EXPECT_TRUE(connection.closed());
  }
  EXPECT_EQ(Rows(), "0");
  EXPECT_EQ(LogLines(server.Err()), 2) << server.Err();
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeConnection, SlowClientsHoldNoWorkerAndDoNotDelayTheStop) {
  ServeProcess server(ServeArgs(db_, {"--threads", "1", "--queue", "0", "--read-timeout", "2"}));
  // Eight connections that send their headers a byte at a time, and eight that
  // send nothing at all.
  std::vector<std::unique_ptr<RawConnection>> slow, silent;
  for (int i = 0; i < 8; ++i) {
    slow.push_back(std::make_unique<RawConnection>(server.port()));
    silent.push_back(std::make_unique<RawConnection>(server.port()));
  }
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    const std::string head = "POST /transact HTTP/1.1\r\nHost: x\r\n";
    for (size_t at = 0; at < head.size() && !done; ++at) {
      for (auto& c : slow) c->Send(head.substr(at, 1));
      std::this_thread::sleep_for(200ms);
    }
  });
  // Meanwhile the one worker serves others.
  for (int i = 0; i < 3; ++i) {
    RawConnection c(server.port());
    c.Send(Post("/transact", "Connection: close\r\n", ServeAddRequest({3})));
    EXPECT_EQ(Statuses(c.ReadAll(5000ms)), std::vector<int>{200}) << i;
  }
  // A header that has not come within the read timeout is refused, and the
  // connection closed, within that timeout and two seconds more.
  const auto start = Clock::now();
  const std::string refused = slow.front()->ReadAll(6000ms);
  EXPECT_EQ(Statuses(refused), std::vector<int>{408}) << refused;
  EXPECT_TRUE(slow.front()->closed());
  EXPECT_LT(Clock::now() - start, 4s + 2s);
  done = true;
  trickle.join();

  // With only idle and slow connections open, the stop is at once.
  RawConnection idle(server.port());
  idle.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(Statuses(idle.ReadAll(1000ms)), std::vector<int>{200});
  const auto stop = Clock::now();
  EXPECT_EQ(server.Stop(SIGTERM, 20s), 0);
  EXPECT_LT(Clock::now() - stop, 10s);
  EXPECT_NE(server.Err().find("stopping: 0 requests in progress\n"), std::string::npos);
  EXPECT_NE(server.Err().find("\nstopped\n"), std::string::npos);
}

TEST_F(ServeConnection, TlsConnectionsThatNeverGreetHoldNothing) {
  TempDir dir;
  const auto [cert, key] = MakeSelfSignedCertificate(dir.path().string());
  ASSERT_FALSE(HasFailure());
  ServeProcess server(ServeArgs(
      db_, {"--threads", "1", "--tls-cert", cert, "--tls-key", key, "--read-timeout", "20"}));
  std::vector<std::unique_ptr<RawConnection>> silent;
  for (int i = 0; i < 8; ++i) silent.push_back(std::make_unique<RawConnection>(server.port()));
  // A client that does greet is served while they wait.
  httplib::SSLClient client("127.0.0.1", server.port());
  client.set_ca_cert_path(cert.c_str());
  client.enable_server_certificate_verification(true);
  client.set_read_timeout(10);
  const auto health = client.Get("/healthz");
  ASSERT_TRUE(health) << httplib::to_string(health.error());
  EXPECT_EQ(health->status, 200);
  // And they do not hold up the stop.
  const auto stop = Clock::now();
  EXPECT_EQ(server.Stop(SIGTERM, 20s), 0);
  EXPECT_LT(Clock::now() - stop, 10s);
}

TEST_F(ServeConnection, ARequestInPiecesIsReadWholeAndTheNextComesOnTheSameConnection) {
  ServeProcess server(ServeArgs(db_, {}));
  RawConnection c(server.port());
  // The head in two pieces and the body in two more, each after a pause: the
  // server waits for each rest, and only the whole request runs.
  const std::string first = Post("/transact", "", ServeAddRequest({1}));
  const size_t body = first.find("\r\n\r\n") + 4;
  for (const std::string& piece : {first.substr(0, 20), first.substr(20, body - 20),
                                   first.substr(body, 40), first.substr(body + 40)}) {
    ASSERT_TRUE(c.Send(piece));
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_EQ(Statuses(c.ReadAll(1000ms)), std::vector<int>{200});
  EXPECT_EQ(Rows(), "1");
  // The connection stays open for the next request, sent in one piece.
  c.Send(Post("/transact", "", ServeAddRequest({2})));
  EXPECT_EQ(Statuses(c.ReadAll(1000ms)), std::vector<int>{200});
  EXPECT_FALSE(c.closed());
  EXPECT_EQ(Rows(), "2");
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeConnection, AnIdleConnectionIsClosedAfterTheIdleTimeout) {
  ServeProcess server(ServeArgs(db_, {"--idle-timeout", "1"}));
  RawConnection c(server.port());
  c.Send("GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
  const auto start = Clock::now();
  const std::string answer = c.ReadAll(5000ms);
  EXPECT_EQ(Statuses(answer), std::vector<int>{200});
  // The answer announced how long the connection would wait.
  EXPECT_NE(answer.find("Keep-Alive: timeout=1\r\n"), std::string::npos) << answer;
  EXPECT_TRUE(c.closed());
  EXPECT_LT(Clock::now() - start, 1s + 3s);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeConnection, OptionsOutOfRangeSayTheRange) {
  const CommandResult zero = RunQuillor({"serve", "--connection", db_.ConnectionText(), "--library",
                                         kServeLibrary, "--max-request-bytes", "0"});
  EXPECT_NE(zero.exit_code, 0);
  EXPECT_NE(zero.err.find("from 1 to"), std::string::npos) << zero.err;
}

TEST_F(ServeConnection, TheStartLineSaysWhatIsServedWithoutThePassword) {
  // On SQLite, where a password in the text changes nothing about the connection.
  TestDb sqlite(TestDb::Engine::kSqlite);
  ServeProcess server({"--connection", sqlite.ConnectionText() + ";PWD=secret-word", "--library",
                       BuiltLibrary("8.61"), "--release", "8.61"});
  // The line follows the listening line.
  std::string err = server.Err();
  for (int i = 0; i < 100 && err.find("TLS") == std::string::npos; ++i) {
    std::this_thread::sleep_for(20ms);
    err = server.Err();
  }
  EXPECT_NE(err.find("release 8.61"), std::string::npos) << err;
  EXPECT_NE(err.find("PWD=***"), std::string::npos) << err;
  EXPECT_EQ(err.find("secret-word"), std::string::npos) << err;
  EXPECT_NE(err.find("tokens off, TLS off"), std::string::npos) << err;
  EXPECT_NE(err.find("without replacing"), std::string::npos) << err;
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quillor::testing
