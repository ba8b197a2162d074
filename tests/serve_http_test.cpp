// quillor serve through a real HTTP client: the replies, the refusals, paged
// answers, tokens and TLS.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <regex>
#include <thread>

#include "testing/serve_fixture.h"

namespace quillor::testing {
namespace {

httplib::Result Post(int port, const std::string& body, httplib::Headers headers = {}) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(30);
  return client.Post("/transact", headers, body, "application/xml");
}

// The request with one more line, which validation refuses (no quantity).
std::string WithRefusedLine(std::string request) {
  const std::string end = "</ufinterface>";
  request.insert(request.size() - end.size(),
                 "<material id=\"x\"><departmentno>D01</departmentno><quantity>0</quantity>"
                 "</material>");
  return request;
}

class ServeHttp : public ::testing::Test {
 protected:
  void SetUp() override { AddMasterRows(db_, 20); }
  TestDb db_;
};

TEST_F(ServeHttp, ListeningLineNamesTheLoopbackPortItListensOn) {
  ServeProcess server(ServeArgs(db_));
  EXPECT_TRUE(std::regex_match(server.listening_line(),
                               std::regex(R"(listening on http://127\.0\.0\.1:[1-9][0-9]*)")))
      << server.listening_line();
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeHttp, RepliesAreTheBytesTheTransactCommandPrints) {
  ServeProcess server(ServeArgs(db_));
  const std::vector<std::pair<const char*, std::string>> requests = {
      {"ADD, stored and refused lines", WithRefusedLine(ServeAddRequest({1, 2}))},
      {"ADD sent again", ServeAddRequest({1, 2})},
      {"QUERY without pages", ServeQueryRequest(0)},
      {"QUERY with pages the server is not asked for", ServeQueryRequest(-1)},
      {"unknown operation", "<ufinterface roottag=\"material\" docid=\"D\" proc=\"DROP\"/>"},
      {"not XML", "this is <not xml"},
      {"empty body", ""},
      {"QUERY without paginate",
       "<ufinterface roottag=\"material\" docid=\"D\" proc=\"QUERY\"></ufinterface>"},
  };
  for (const auto& [what, request] : requests) {
    const auto answer = Post(server.port(), request);
    ASSERT_TRUE(answer) << what;
    const CommandResult command = TransactCommand(db_, request);
    ASSERT_EQ(command.exit_code, 0) << what << command.err;
    EXPECT_EQ(answer->status, 200) << what;
    EXPECT_EQ(answer->get_header_value("Content-Type"), "application/xml; charset=utf-8") << what;
    EXPECT_EQ(answer->body, command.out) << what;
  }
  EXPECT_EQ(db_.Rows("select count(*) from ca_mabsw")[0][0], "2");
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

// Parts of a multipart/mixed answer: the headers and the content of each.
struct Part {
  std::string headers;
  std::string content;
};

std::vector<Part> SplitParts(const std::string& body, const std::string& boundary) {
  std::vector<Part> parts;
  const std::string delimiter = "--" + boundary;
  size_t at = body.find(delimiter);
  while (at != std::string::npos && body.compare(at + delimiter.size(), 2, "--") != 0) {
    const size_t head = at + delimiter.size() + 2;
    const size_t blank = body.find("\r\n\r\n", head);
    const size_t next = body.find("\r\n" + delimiter, blank);
    if (blank == std::string::npos || next == std::string::npos) break;
    parts.push_back({body.substr(head, blank - head), body.substr(blank + 4, next - blank - 4)});
    at = next + 2;
  }
  return parts;
}

TEST_F(ServeHttp, PagedQueryStreamsEachPageThenTheReply) {
  std::vector<int> seven = {0, 1, 2, 3, 4, 5, 6};
  ServeProcess server(ServeArgs(db_));
  ASSERT_EQ(Post(server.port(), ServeAddRequest(seven))->status, 200);

  httplib::Client client("127.0.0.1", server.port());
  std::string body;
  auto answer = client.Post("/transact", {}, ServeQueryRequest(3), "application/xml");
  ASSERT_TRUE(answer);
  body = answer->body;
  ASSERT_EQ(answer->status, 200);
  EXPECT_EQ(answer->get_header_value("Transfer-Encoding"), "chunked");
  const std::string type = answer->get_header_value("Content-Type");
  ASSERT_EQ(type.rfind("multipart/mixed; boundary=", 0), 0u) << type;
  const std::string boundary = type.substr(type.find('=') + 1);

  const std::vector<Part> parts = SplitParts(body, boundary);
  ASSERT_EQ(parts.size(), 4u) << body;
  for (int page = 1; page <= 3; ++page) {
    const Part& part = parts[page - 1];
    EXPECT_NE(part.headers.find("X-Quillor-Page: " + std::to_string(page) + " of 3"),
              std::string::npos)
        << part.headers;
    EXPECT_NE(part.headers.find("Content-Type: application/xml"), std::string::npos);
    const size_t rows = page < 3 ? 3 : 1;
    size_t found = 0;
    for (size_t at = part.content.find("<material "); at != std::string::npos;
         at = part.content.find("<material ", at + 1)) {
      ++found;
    }
    EXPECT_EQ(found, rows) << part.content;
    EXPECT_NE(part.content.find("id=\"" + std::to_string(page * 3 - 2) + "\""), std::string::npos);
  }
  EXPECT_NE(parts[3].headers.find("X-Quillor-Part: reply"), std::string::npos);
  EXPECT_EQ(body.substr(body.size() - boundary.size() - 6), "--" + boundary + "--\r\n");

  // The reply part is what the command prints when it takes the pages itself.
  TempDir pages;
  const CommandResult command =
      TransactCommand(db_, ServeQueryRequest(3), {"--pages-dir", pages.path().string()});
  ASSERT_EQ(command.exit_code, 0) << command.err;
  EXPECT_EQ(parts[3].content, command.out);
  std::ifstream first(pages.path() / "page-1.xml");
  std::string page_one((std::istreambuf_iterator<char>(first)), {});
  EXPECT_EQ(parts[0].content, page_one);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeHttp, PagedQueryArrivesPartByPart) {
  std::vector<int> lines;
  for (int i = 0; i < 20; ++i) lines.push_back(i);
  ServeProcess server(ServeArgs(db_));
  ASSERT_EQ(Post(server.port(), ServeAddRequest(lines))->status, 200);

  // The raw answer is read as it comes: each page part is a chunk of its own.
  const std::string request = ServeQueryRequest(5);
  const std::string answer = RawHttp(
      server.port(), "POST /transact HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: " +
                         std::to_string(request.size()) + "\r\n\r\n" + request);
  ASSERT_EQ(StatusOf(answer), 200) << answer;
  // Chunk sizes in hexadecimal at line starts, one per part, then the last chunk.
  const std::regex chunk("\r\n([0-9a-fA-F]+)\r\n--quillor-");
  size_t chunks = 0;
  for (auto it = std::sregex_iterator(answer.begin(), answer.end(), chunk);
       it != std::sregex_iterator(); ++it) {
    ++chunks;
  }
  EXPECT_EQ(chunks, 5u) << answer;  // four pages and the reply
  for (int page = 1; page <= 4; ++page) {
    EXPECT_NE(answer.find("X-Quillor-Page: " + std::to_string(page) + " of 4"), std::string::npos);
  }
  EXPECT_NE(answer.find("\r\n0\r\n\r\n"), std::string::npos);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeHttp, RefusalsCarryTheirStatus) {
  ServeProcess server(ServeArgs(db_, {"--max-request-bytes", "1000", "--read-timeout", "1"}));
  httplib::Client client("127.0.0.1", server.port());
  EXPECT_EQ(client.Get("/nowhere")->status, 404);
  EXPECT_EQ(client.Get("/")->status, 404);
  const auto get_transact = client.Get("/transact");
  EXPECT_EQ(get_transact->status, 405);
  EXPECT_EQ(get_transact->get_header_value("Allow"), "POST");
  EXPECT_EQ(client.Delete("/healthz")->status, 405);
  EXPECT_EQ(client.Put("/transact", "x", "application/xml")->status, 405);
  EXPECT_EQ(client.Post("/metrics", "x", "text/plain")->status, 405);
  EXPECT_EQ(client.Post("/transact", std::string(1001, 'x'), "application/xml")->status, 413);
  EXPECT_EQ(client.Post("/transact", std::string(1000, ' '), "application/xml")->status, 200);

  // Over the limit by its announced length: refused before a byte of it is sent.
  const auto start = std::chrono::steady_clock::now();
  const std::string large = RawHttp(
      server.port(), "POST /transact HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n");
  EXPECT_EQ(StatusOf(large), 413) << large;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));

  // A body that stops coming.
  const std::string slow = RawHttp(
      server.port(), "POST /transact HTTP/1.1\r\nHost: x\r\nContent-Length: 50\r\n\r\n<ufinter",
      std::chrono::milliseconds(5000));
  EXPECT_EQ(StatusOf(slow), 408) << slow;

  EXPECT_EQ(StatusOf(RawHttp(server.port(), "NOT HTTP AT ALL\r\n\r\n")), 400);
  EXPECT_EQ(client.Get("/healthz")->status, 200);
  EXPECT_EQ(client.Get("/healthz")->body, "ok\n");
  EXPECT_EQ(server.Stop(SIGINT), 0);
}

TEST_F(ServeHttp, BusyWorkersAndAFullQueueGive503WithRetryAfter) {
  // The one worker is held by an ADD that waits for the database: another
  // program holds the stored line's row (and, on SQLite, the file's write lock)
  // in an open transaction until the health check has been refused.
  const bool sqlite = db_.ConnectionText().rfind("Provider=SQLite", 0) == 0;
  const std::string waits = sqlite ? ";Busy Timeout=60000" : ";Lock Timeout=60000";
  ServeProcess server({"--connection", db_.ConnectionText() + waits, "--library", kServeLibrary,
                       "--threads", "1", "--queue", "0"});
  const std::string add = ServeAddRequest({1});
  const auto stored = Post(server.port(), add);
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->status, 200);
  db_.conn().Begin();
  ASSERT_EQ(db_.conn().Execute("update ca_mabsw set iqua = iqua"), 1);
  // A health check may take the one worker just as the ADD comes, which then
  // gets the 503 itself: it is sent again until the worker takes it.
  std::atomic<int> held_status{0};
  std::thread held([&] {
    for (int attempt = 0; attempt < 100 && held_status == 0; ++attempt) {
      const auto answer = Post(server.port(), add);
      if (!answer) break;
      if (answer->status != 503) held_status = answer->status;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  std::string busy;
  for (int attempt = 0; attempt < 400 && StatusOf(busy) != 503; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    busy = RawHttp(server.port(), "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
  }
  db_.conn().Rollback();
  held.join();
  EXPECT_EQ(StatusOf(busy), 503) << busy;
  EXPECT_NE(busy.find("Retry-After: 1\r\n"), std::string::npos) << busy;
  EXPECT_NE(busy.find("Connection: close\r\n"), std::string::npos) << busy;
  // The held ADD went on once the lock was let go, and the next request is served.
  EXPECT_EQ(held_status.load(), 200);
  const std::string free_again = RawHttp(server.port(), "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(StatusOf(free_again), 200) << free_again;
  EXPECT_EQ(db_.Rows("select count(*) from ca_mabsw")[0][0], "1");
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeHttp, HealthReportsAConnectionThatDoesNotOpen) {
  ServeProcess server({"--connection", "Provider=SQLite;Data Source=/nonexistent/dir/x.db",
                       "--library", kServeLibrary});
  httplib::Client client("127.0.0.1", server.port());
  const auto health = client.Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 503);
  EXPECT_FALSE(health->body.empty());
  EXPECT_NE(health->body, "ok\n");
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeHttp, TokensAreRequiredOnEveryPath) {
  TempDir dir;
  const std::string tokens = WriteTokensFile(
      dir.path().string(), "# integration broker\nfirst-token-123\n\n  second-token-456  \n");
  ServeProcess server(ServeArgs(db_, {"--tokens", tokens}));
  httplib::Client client("127.0.0.1", server.port());

  const std::vector<std::pair<std::string, int>> cases = {
      {"", 401},
      {"Bearer first-token-123", 200},
      {"bearer second-token-456", 200},
      {"Bearer first-token-12", 401},
      {"Bearer first-token-1234", 401},
      {"Bearer ", 401},
      {"Basic Zmlyc3QtdG9rZW4tMTIz", 401},
      {"Bearer # integration broker", 401},
      {"first-token-123", 401},
  };
  for (const auto& [authorization, status] : cases) {
    httplib::Headers headers;
    if (!authorization.empty()) headers.emplace("Authorization", authorization);
    const auto answer = client.Post("/transact", headers, ServeAddRequest({3}), "application/xml");
    ASSERT_TRUE(answer) << authorization;
    EXPECT_EQ(answer->status, status) << authorization;
    if (status == 401) {
      EXPECT_EQ(answer->get_header_value("WWW-Authenticate"), "Bearer");
    }
    EXPECT_EQ(client.Get("/metrics", headers)->status, status) << authorization;
  }
  // Two Authorization headers, one of them good, are no credential.
  const std::string twice =
      RawHttp(server.port(),
              "GET /healthz HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer x\r\n"
              "Authorization: Bearer first-token-123\r\n\r\n");
  EXPECT_EQ(StatusOf(twice), 401);
  const std::string log = server.Err();
  EXPECT_EQ(log.find("first-token-123"), std::string::npos);
  EXPECT_EQ(log.find("second-token"), std::string::npos);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeHttp, WithoutTokensOnlyLoopbackIsServed) {
  for (const char* address : {"0.0.0.0:0", "[::]:0", "192.0.2.1:0"}) {
    const CommandResult run = RunQuillor({"serve", "--connection", db_.ConnectionText(),
                                          "--library", kServeLibrary, "--listen", address});
    EXPECT_EQ(run.exit_code, 1) << address;
    EXPECT_EQ(run.out, "") << address;
    EXPECT_NE(run.err.find("without --tokens"), std::string::npos) << run.err;
  }
  const CommandResult none = RunQuillor({"serve", "--library", kServeLibrary});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_NE(none.err.find("no connection text"), std::string::npos) << none.err;
}

TEST_F(ServeHttp, TlsWithACertificateMadeHere) {
  TempDir dir;
  const auto [cert, key] = MakeSelfSignedCertificate(dir.path().string());
  ASSERT_FALSE(HasFailure());
  ServeProcess server(ServeArgs(db_, {"--tls-cert", cert, "--tls-key", key}));
  EXPECT_EQ(server.listening_line().rfind("listening on https://127.0.0.1:", 0), 0u);

  httplib::SSLClient client("127.0.0.1", server.port());
  client.set_ca_cert_path(cert.c_str());
  client.enable_server_certificate_verification(true);
  const auto answer = client.Post("/transact", ServeAddRequest({4}), "application/xml");
  ASSERT_TRUE(answer) << httplib::to_string(answer.error());
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->body, TransactCommand(db_, ServeAddRequest({4})).out);

  // Plain HTTP on the TLS port is told, in plain HTTP, that the port speaks
  // HTTPS, and the connection ends; the port still serves HTTPS after it.
  const std::string plain = RawHttp(server.port(), "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(StatusOf(plain), 400) << plain;
  EXPECT_NE(plain.find("Connection: close\r\n"), std::string::npos) << plain;
  EXPECT_NE(plain.find("this port speaks HTTPS"), std::string::npos) << plain;
  const auto again = client.Get("/healthz");
  ASSERT_TRUE(again) << httplib::to_string(again.error());
  EXPECT_EQ(again->status, 200);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  EXPECT_NE(server.Err().find(R"("method":"","path":"","status":400)"), std::string::npos)
      << server.Err();

  const CommandResult bad =
      RunQuillor({"serve", "--connection", db_.ConnectionText(), "--library", kServeLibrary,
                  "--listen", "127.0.0.1:0", "--tls-cert", key, "--tls-key", cert});
  EXPECT_EQ(bad.exit_code, 1);
}

TEST_F(ServeHttp, MetricsAndTheAccessLogCountWhatWasServed) {
  ServeProcess server(ServeArgs(db_));
  ASSERT_EQ(Post(server.port(), ServeAddRequest({5, 6}, "DOC-\"7\""))->status, 200);
  const std::string refused =
      "<ufinterface roottag=\"material\" docid=\"DOC-8\" proc=\"add\"><material id=\"9\">"
      "<departmentno>D01</departmentno><inventoryno>M5</inventoryno><quantity>0</quantity>"
      "</material></ufinterface>";
  ASSERT_EQ(Post(server.port(), refused)->status, 200);
  ASSERT_EQ(Post(server.port(), ServeQueryRequest(0))->status, 200);
  httplib::Client client("127.0.0.1", server.port());
  EXPECT_EQ(client.Get("/nowhere")->status, 404);

  // A request is counted once its answer is sent, which the client may see first,
  // each by its own worker; the scrapes themselves are counted too.
  const std::vector<std::string> answered = {
      "quillor_requests_total{proc=\"ADD\",status=\"200\"} 2\n",
      "quillor_requests_total{proc=\"QUERY\",status=\"200\"} 1\n",
      "quillor_requests_total{proc=\"\",status=\"404\"} 1\n",
  };
  std::string text, type;
  int scrapes = 0;
  for (; scrapes < 100; ++scrapes) {
    const auto metrics = client.Get("/metrics");
    ASSERT_TRUE(metrics);
    ASSERT_EQ(metrics->status, 200);
    text = metrics->body;
    type = metrics->get_header_value("Content-Type");
    if (std::all_of(answered.begin(), answered.end(), [&](const std::string& line) {
          return text.find(line) != std::string::npos;
        })) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Every request answered so far is in the histogram: the four, and the earlier
  // scrapes that were counted by then.
  std::smatch count, inf;
  ASSERT_TRUE(std::regex_search(text, count,
                                std::regex("quillor_request_duration_seconds_count (\\d+)\n")));
  ASSERT_TRUE(std::regex_search(
      text, inf,
      std::regex("quillor_request_duration_seconds_bucket\\{le=\"\\+Inf\"\\} (\\d+)\n")));
  EXPECT_EQ(count[1], inf[1]);
  EXPECT_GE(std::stoi(count[1]), 4);
  EXPECT_LE(std::stoi(count[1]), 4 + scrapes);
  EXPECT_EQ(type, "text/plain; version=0.0.4; charset=utf-8");
  // The pool keeps the connection the requests used, idle between them.
  EXPECT_TRUE(
      std::regex_search(text, std::regex("quillor_pool_connections\\{state=\"idle\"\\} [1-9]")))
      << text;
  for (const char* line : {
           "quillor_requests_total{proc=\"ADD\",status=\"200\"} 2\n",
           "quillor_requests_total{proc=\"QUERY\",status=\"200\"} 1\n",
           "quillor_requests_total{proc=\"\",status=\"404\"} 1\n",
           "quillor_items_total{code=\"0\"} 2\n",
           "quillor_items_total{code=\"101\"} 1\n",
           "# TYPE quillor_request_duration_seconds histogram\n",
           "quillor_pool_connections{state=\"busy\"} 0\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }

  EXPECT_EQ(server.Stop(SIGTERM), 0);
  const std::string log = server.Err();
  // The access log lines, between the start-up lines and the stop's.
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = log.find('\n', at)) != std::string::npos; at = end + 1) {
    if (log[at] == '{') lines.push_back(log.substr(at, end - at));
  }
  ASSERT_GE(lines.size(), 5u) << log;  // the scrape may have been repeated
  const std::regex shape(
      R"(\{"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z","client":"127\.0\.0\.1:\d+","method":"[A-Z]+","path":"[^"]*","status":\d{3},"delivered":true,"code":"[^"]*","proc":"[^"]*","docid":"(\\"|[^"])*","items":\{[^}]*\}(,"refused":\{"\d+":\["[^"]*"\]\})?,"duration_ms":\d+\.\d{3},"bytes_sent":[1-9]\d*\})");
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, shape)) << line;
  // Each worker writes its line once its answer is sent: the order is not fixed.
  for (
      const char* part :
      {R"("status":200,"delivered":true,"code":"","proc":"ADD","docid":"DOC-\"7\"","items":{"0":2})",
       R"("proc":"add","docid":"DOC-8","items":{"101":1},"refused":{"101":["the )",
       R"("method":"GET","path":"/nowhere","status":404)"}) {
    EXPECT_NE(log.find(part), std::string::npos) << part << "\n" << log;
  }
  EXPECT_EQ(log.find("<material"), std::string::npos);  // no body
  EXPECT_EQ(log.find("D01"), std::string::npos);
}

TEST_F(ServeHttp, ABodyThatIsNoXmlIsLoggedAndCountedUnderOneLabel) {
  ServeProcess server(ServeArgs(db_));
  ASSERT_EQ(Post(server.port(), "this is <not xml")->status, 200);
  httplib::Client client("127.0.0.1", server.port());
  std::string metrics;
  for (int tries = 0; tries < 100; ++tries) {
    metrics = client.Get("/metrics")->body;
    if (metrics.find("quillor_requests_total{proc=\"OTHER\",status=\"200\"} 1\n") !=
        std::string::npos) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(metrics.find("quillor_requests_total{proc=\"OTHER\",status=\"200\"} 1\n"),
            std::string::npos)
      << metrics;
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  EXPECT_NE(server.Err().find(
                R"("path":"/transact","status":200,"delivered":true,"code":"100","proc":"OTHER")"),
            std::string::npos)
      << server.Err();
}

// The component's own bound (Max Request Size), not the server's 413: the reply
// keeps the catalogue's text, and the log line says the size and the bound.
TEST_F(ServeHttp, TheOversizedRequestReplyKeepsItsTextAndTheLogNamesSizeAndLimit) {
  std::vector<int> lines;
  for (int n = 0; n < 20; ++n) lines.push_back(n);
  const std::string large = ServeAddRequest(lines, "BIG");
  const std::string small = ServeAddRequest({1}, "SMALL");
  ASSERT_GT(large.size(), 2000u);
  ASSERT_LT(small.size(), 2000u);
  const std::string connection = db_.ConnectionText() + ";Max Request Size=2000";
  ServeProcess server({"--connection", connection, "--library", kServeLibrary});
  const auto refused = Post(server.port(), large);
  ASSERT_EQ(refused->status, 200);
  const CommandResult command =
      RunQuillor({"transact", "--connection", connection, "--library", kServeLibrary, "-"}, large);
  EXPECT_EQ(refused->body, command.out);  // the catalogue's text, no size in it
  EXPECT_EQ(refused->body.find("2000"), std::string::npos);
  EXPECT_EQ(Post(server.port(), small)->status, 200);
  EXPECT_EQ(server.Stop(SIGTERM), 0);

  const std::string log = server.Err();
  EXPECT_NE(log.find(R"("code":"100","proc":"ADD","docid":"BIG","items":{},"request_bytes":)" +
                     std::to_string(large.size()) + R"(,"limit":2000,"duration_ms")"),
            std::string::npos)
      << log;
  const size_t small_line = log.find(R"("docid":"SMALL")");
  ASSERT_NE(small_line, std::string::npos) << log;
  EXPECT_EQ(log.find("request_bytes", small_line), std::string::npos) << log;
}

}  // namespace
}  // namespace quillor::testing
