// quillor serve as an operator runs it: the headers that tell a reply's code,
// the 503 for a database that cannot be reached, the rows of each part of a
// paged answer, reloading tokens and certificates on SIGHUP, the open health
// check, the health checks kept out of the log, and the description and schemas
// it serves.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "testing/serve_fixture.h"
#include "testing/serve_socket.h"

namespace quillor::testing::operations {
namespace {

using namespace std::chrono_literals;

httplib::Result Post(int port, const std::string& body, httplib::Headers headers = {}) {
  httplib::Client client("127.0.0.1", port);
  client.set_read_timeout(30);
  return client.Post("/transact", headers, body, "application/xml");
}

// The text between the parts' boundaries: the headers of each part.
std::vector<std::string> PartHeaders(const std::string& body, const std::string& boundary) {
  std::vector<std::string> heads;
  const std::string delimiter = "--" + boundary + "\r\n";
  for (size_t at = body.find(delimiter); at != std::string::npos;
       at = body.find(delimiter, at + 1)) {
    const size_t start = at + delimiter.size();
    heads.push_back(body.substr(start, body.find("\r\n\r\n", start) + 2 - start));
  }
  return heads;
}

// Waits (generously) until the server's standard error holds `text`.
bool ErrShows(const ServeProcess& server, const std::string& text) {
  for (int i = 0; i < 400; ++i) {
    if (server.Err().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

class ServeOperations : public ::testing::Test {
 protected:
  void SetUp() override { AddMasterRows(db_, 30); }
  TestDb db_;
};

TEST_F(ServeOperations, HeadersCarryTheRepliesCodeAndTheItemCounts) {
  ServeProcess server(ServeArgs(db_));
  const std::string refused_line =
      "<material id=\"x\"><departmentno>D01</departmentno><quantity>0</quantity></material>";
  std::string add = ServeAddRequest({1, 2, 3});
  add.insert(add.size() - std::string("</ufinterface>").size(), refused_line);
  struct Case {
    const char* what;
    std::string request;
    std::string code;   // empty: no X-Quillor-Code
    std::string items;  // empty: no X-Quillor-Items
  };
  const std::vector<Case> cases = {
      {"ADD, stored and refused lines", add, "", "0=3, 101=1"},
      {"QUERY", ServeQueryRequest(0), "", ""},
      {"not XML", "this is <not xml", "100", ""},
      {"unknown operation", "<ufinterface roottag=\"material\" docid=\"D\" proc=\"DROP\"/>", "710",
       ""},
  };
  for (const Case& c : cases) {
    const auto answer = Post(server.port(), c.request);
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(answer->status, 200) << c.what;
    EXPECT_EQ(answer->has_header("X-Quillor-Code"), !c.code.empty()) << c.what;
    EXPECT_EQ(answer->get_header_value("X-Quillor-Code"), c.code) << c.what;
    EXPECT_EQ(answer->has_header("X-Quillor-Items"), !c.items.empty()) << c.what;
    EXPECT_EQ(answer->get_header_value("X-Quillor-Items"), c.items) << c.what;
    // The bytes stay the command's.
    EXPECT_EQ(answer->body, TransactCommand(db_, c.request).out) << c.what;
  }
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeOperations, EachPartOfAPagedAnswerSaysItsRowsAndTheReplyRepeatsTheLastPage) {
  std::vector<int> lines;
  for (int i = 0; i < 24; ++i) lines.push_back(i);
  ServeProcess server(ServeArgs(db_));
  ASSERT_EQ(Post(server.port(), ServeAddRequest(lines))->status, 200);
  const auto answer = Post(server.port(), ServeQueryRequest(5));
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->status, 200);
  const std::string type = answer->get_header_value("Content-Type");
  const std::vector<std::string> heads = PartHeaders(answer->body, type.substr(type.find('=') + 1));
  ASSERT_EQ(heads.size(), 6u) << answer->body;
  // 24 rows at 5 a page: the fifth page holds 4, and so does the reply.
  const std::vector<int> rows = {5, 5, 5, 5, 4, 4};
  for (size_t i = 0; i < heads.size(); ++i) {
    EXPECT_NE(heads[i].find("X-Quillor-Rows: " + std::to_string(rows[i]) + "\r\n"),
              std::string::npos)
        << heads[i];
  }
  EXPECT_NE(heads[5].find("X-Quillor-Part: reply"), std::string::npos);
  EXPECT_EQ(heads[5].find("X-Quillor-Code"), std::string::npos);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeOperations, ADatabaseThatCannotBeOpenedIs503WithRetryAfterAndTheReplyUnchanged) {
  const std::string missing = "Provider=SQLite;Data Source=/nonexistent/dir/x.db";
  ServeProcess server({"--connection", missing, "--library", kServeLibrary});
  for (const std::string& request :
       {ServeAddRequest({1}), ServeQueryRequest(0), ServeQueryRequest(3), std::string("no xml")}) {
    const auto answer = Post(server.port(), request);
    ASSERT_TRUE(answer) << request;
    EXPECT_EQ(answer->status, 503) << request;
    EXPECT_EQ(answer->get_header_value("Retry-After"), "5") << request;
    EXPECT_EQ(answer->get_header_value("X-Quillor-Code"), "-2147467259") << request;
    EXPECT_EQ(answer->get_header_value("Content-Type"), "application/xml; charset=utf-8");
    const CommandResult command =
        RunQuillor({"transact", "--connection", missing, "--library", kServeLibrary, "-"}, request);
    EXPECT_EQ(answer->body, command.out) << request;
  }
  EXPECT_EQ(server.Stop(SIGTERM), 0);

  // A failure's code from a database that does answer stays 200: the request
  // reached the database, and only the balancer's retry is kept from it.
  db_.Run("drop table AccInformation");
  ServeProcess reachable(ServeArgs(db_));
  const auto answer = Post(reachable.port(), ServeAddRequest({1}));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->get_header_value("X-Quillor-Code"), "-2147217900");
  EXPECT_FALSE(answer->has_header("Retry-After"));
  EXPECT_EQ(reachable.Stop(SIGTERM), 0);
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST_F(ServeOperations, SighupTakesTheNewTokensAndLeavesARequestInProgressAlone) {
  TempDir dir;
  const std::string tokens = WriteTokensFile(dir.path().string(), "old-token\n");
  ServeProcess server(ServeArgs(db_, {"--tokens", tokens}));
  auto status = [&](const std::string& token) {
    const auto answer =
        Post(server.port(), ServeAddRequest({2}), {{"Authorization", "Bearer " + token}});
    return answer ? answer->status : 0;
  };
  ASSERT_EQ(status("old-token"), 200);

  // A request whose headers (with the old token) were taken before the reload
  // (the server asks for the body once they pass), and whose body comes after it.
  const std::string body = ServeAddRequest({3});
  RawConnection in_progress(server.port());
  ASSERT_TRUE(
      in_progress.Send("POST /transact HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                       "Expect: 100-continue\r\nAuthorization: Bearer old-token\r\n"
                       "Content-Length: " +
                       std::to_string(body.size()) + "\r\n\r\n"));
  const std::string go_on = in_progress.ReadAll(500ms);
  ASSERT_EQ(StatusOf(go_on), 100) << go_on;
  ASSERT_TRUE(in_progress.Send(body.substr(0, body.size() / 2)));
  WriteFile(tokens, "# rotated\nnew-token\n");
  server.Signal(SIGHUP);
  ASSERT_TRUE(ErrShows(server, "reloaded: 1 token\n")) << server.Err();
  ASSERT_TRUE(in_progress.Send(body.substr(body.size() / 2)));
  const std::string answer = in_progress.ReadAll();
  EXPECT_EQ(StatusOf(answer), 200) << answer;
  EXPECT_NE(answer.find("<item id=\"3\" code=\"0\""), std::string::npos) << answer;

  EXPECT_EQ(status("new-token"), 200);
  EXPECT_EQ(status("old-token"), 401);

  // A file that cannot be read keeps the tokens in use, and the log says why.
  std::filesystem::remove(tokens);
  server.Signal(SIGHUP);
  ASSERT_TRUE(ErrShows(server, "reload: the tokens in use are kept: cannot read " + tokens))
      << server.Err();
  ASSERT_TRUE(ErrShows(server, "reloaded: nothing\n")) << server.Err();
  EXPECT_EQ(status("new-token"), 200);
  WriteFile(tokens, "# no token left\n");
  server.Signal(SIGHUP);
  ASSERT_TRUE(ErrShows(server, "holds no token")) << server.Err();
  EXPECT_EQ(status("new-token"), 200);
  EXPECT_EQ(status("old-token"), 401);
  // The server is still the one that started, and stops as it should.
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  EXPECT_EQ(server.Err().find("new-token"), std::string::npos);
}

TEST_F(ServeOperations, SighupTakesANewCertificateForNewConnectionsAndKeepsTheOpenOnes) {
  TempDir first_dir, second_dir, served_dir;
  const TlsFiles first = MakeSelfSignedCertificate(first_dir.path().string());
  const TlsFiles second = MakeSelfSignedCertificate(second_dir.path().string());
  ASSERT_FALSE(HasFailure());
  const std::string cert = (served_dir.path() / "cert.pem").string();
  const std::string key = (served_dir.path() / "key.pem").string();
  WriteFile(cert, FileText(first.cert));
  WriteFile(key, FileText(first.key));
  ServeProcess server(
      ServeArgs(db_, {"--tls-cert", cert, "--tls-key", key, "--idle-timeout", "60"}));
  auto client_trusting = [&](const std::string& ca) {
    auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", server.port());
    client->set_ca_cert_path(ca.c_str());
    client->enable_server_certificate_verification(true);
    client->set_keep_alive(true);
    return client;
  };
  auto open = client_trusting(first.cert);
  auto health = open->Get("/healthz");
  ASSERT_TRUE(health) << httplib::to_string(health.error());
  ASSERT_EQ(health->status, 200);

  WriteFile(cert, FileText(second.cert));
  WriteFile(key, FileText(second.key));
  server.Signal(SIGHUP);
  ASSERT_TRUE(ErrShows(server, "reloaded: the certificate and key\n")) << server.Err();
  // The connection opened before goes on; a new one meets the new certificate.
  health = open->Get("/healthz");
  ASSERT_TRUE(health) << httplib::to_string(health.error());
  EXPECT_EQ(health->status, 200);
  EXPECT_TRUE(client_trusting(second.cert)->Get("/healthz"));
  EXPECT_FALSE(client_trusting(first.cert)->Get("/healthz"));

  // A key that does not fit keeps the pair in use.
  WriteFile(key, FileText(first.key));
  server.Signal(SIGHUP);
  ASSERT_TRUE(ErrShows(server,
                       "reload: the certificate and key in use are kept: cannot use the "
                       "certificate " +
                           cert + " with the key " + key))
      << server.Err();
  EXPECT_TRUE(client_trusting(second.cert)->Get("/healthz"));
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeOperations, TheOpenHealthCheckNeedsNoTokenAndTellsNothingOfTheDatabase) {
  TempDir dir;
  const std::string tokens = WriteTokensFile(dir.path().string(), "a-token\n");
  ServeProcess server(ServeArgs(db_, {"--tokens", tokens, "--healthz-open"}));
  httplib::Client client("127.0.0.1", server.port());
  const auto health = client.Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(health->body, "ok\n");
  // Everything else still needs the token.
  EXPECT_EQ(client.Get("/metrics")->status, 401);
  EXPECT_EQ(client.Get("/openapi.yaml")->status, 401);
  EXPECT_EQ(Post(server.port(), ServeAddRequest({1}))->status, 401);
  EXPECT_EQ(server.Stop(SIGTERM), 0);

  const std::string missing = "Provider=SQLite;Data Source=/nonexistent/dir/x.db";
  for (const bool open : {true, false}) {
    std::vector<std::string> args = {"--connection", missing,    "--library",
                                     kServeLibrary,  "--tokens", tokens};
    if (open) args.push_back("--healthz-open");
    ServeProcess down(args);
    httplib::Client asking("127.0.0.1", down.port());
    const auto answer = asking.Get("/healthz", {{"Authorization", "Bearer a-token"}});
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 503);
    if (open) {
      EXPECT_EQ(answer->body, "unavailable\n");
    } else {
      EXPECT_NE(answer->body.find("unable to open database file"), std::string::npos)
          << answer->body;
    }
    EXPECT_EQ(asking.Get("/healthz")->status, open ? 503 : 401);
    EXPECT_EQ(down.Stop(SIGTERM), 0);
  }
}

TEST_F(ServeOperations, HealthChecksThatSayOkAreLoggedOnlyWhenAskedFor) {
  for (const bool asked : {false, true}) {
    ServeProcess server(ServeArgs(
        db_, asked ? std::vector<std::string>{"--log-healthz"} : std::vector<std::string>{}));
    httplib::Client client("127.0.0.1", server.port());
    for (int i = 0; i < 3; ++i) ASSERT_EQ(client.Get("/healthz")->status, 200);
    ASSERT_EQ(client.Get("/nowhere")->status, 404);
    // Counted either way.
    std::string metrics;
    for (int i = 0; i < 100; ++i) {
      metrics = client.Get("/metrics")->body;
      if (metrics.find("quillor_requests_total{proc=\"\",status=\"200\"} 3\n") !=
          std::string::npos) {
        break;
      }
      std::this_thread::sleep_for(50ms);
    }
    EXPECT_NE(metrics.find("quillor_requests_total{proc=\"\",status=\"200\"} 3\n"),
              std::string::npos)
        << metrics;
    EXPECT_EQ(server.Stop(SIGTERM), 0);
    const std::string log = server.Err();
    size_t logged = 0;
    for (size_t at = log.find("\"path\":\"/healthz\""); at != std::string::npos;
         at = log.find("\"path\":\"/healthz\"", at + 1)) {
      ++logged;
    }
    EXPECT_EQ(logged, asked ? 3u : 0u) << log;
    EXPECT_NE(log.find("\"path\":\"/nowhere\""), std::string::npos) << log;
  }
  // A check that fails is logged all the same.
  ServeProcess down({"--connection", "Provider=SQLite;Data Source=/nonexistent/dir/x.db",
                     "--library", kServeLibrary});
  httplib::Client client("127.0.0.1", down.port());
  EXPECT_EQ(client.Get("/healthz")->status, 503);
  EXPECT_EQ(down.Stop(SIGTERM), 0);
  EXPECT_NE(down.Err().find("\"path\":\"/healthz\",\"status\":503"), std::string::npos)
      << down.Err();
}

// A --config file's names for other programs reach the server's own environment,
// where the driver manager and the C library read them, without the command
// changing its environment while it runs.
TEST_F(ServeOperations, TheConfigFilesEnvironmentIsTheServers) {
  TempDir dir;
  const std::string conf = dir.File("serve.conf");
  // The driver manager then finds its drivers there only: the file it reads now
  // goes with them, so that a database reached through a driver stays reachable.
  const char* current = std::getenv("ODBCSYSINI");
  const std::filesystem::path drivers =
      std::filesystem::path(current != nullptr ? current : "/etc") / "odbcinst.ini";
  if (std::filesystem::exists(drivers)) {
    std::filesystem::copy_file(drivers, dir.path() / "odbcinst.ini");
  }
  std::ofstream(conf) << "ODBCSYSINI=" << dir.path().string() << "\nTZ=UTC0\n";
  std::vector<std::string> args = ServeArgs(db_);
  args.insert(args.end(), {"--config", conf});
  ServeProcess server(args);
  std::ifstream in("/proc/" + std::to_string(server.pid()) + "/environ", std::ios::binary);
  std::vector<std::string> environment;
  for (std::string entry; std::getline(in, entry, '\0');) environment.push_back(entry);
  EXPECT_EQ(std::count(environment.begin(), environment.end(), "ODBCSYSINI=" + dir.path().string()),
            1);
  EXPECT_EQ(std::count(environment.begin(), environment.end(), "TZ=UTC0"), 1);
  const auto answer = Post(server.port(), ServeAddRequest({1}));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200) << answer->body;
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  EXPECT_EQ(server.Err().find("\"status\":503"), std::string::npos) << server.Err();
}

TEST_F(ServeOperations, MetricsNameTheBuild) {
  ServeProcess server(ServeArgs(db_, {"--release", "8.71"}));
  httplib::Client client("127.0.0.1", server.port());
  const std::string metrics = client.Get("/metrics")->body;
  const CommandResult version = RunQuillor({"--version"});
  std::smatch number, commit;
  ASSERT_TRUE(std::regex_search(version.out, number, std::regex("^quillor (\\S+)\n")));
  ASSERT_TRUE(std::regex_search(version.out, commit, std::regex("source commit: (\\S+)\n")));
  EXPECT_NE(metrics.find("quillor_build_info{version=\"" + number[1].str() +
                         "\",release=\"8.71\",commit=\"" + commit[1].str() + "\"} 1\n"),
            std::string::npos)
      << metrics << version.out;
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ServeOperations, TheDescriptionAndTheSchemasAreServedBehindTheTokens) {
  const std::filesystem::path source(QUILLOR_SOURCE_DIR);
  TempDir dir;
  const std::string tokens = WriteTokensFile(dir.path().string(), "a-token\n");
  ServeProcess server(ServeArgs(db_, {"--tokens", tokens}));
  httplib::Client client("127.0.0.1", server.port());
  const httplib::Headers token = {{"Authorization", "Bearer a-token"}};

  EXPECT_EQ(client.Get("/openapi.yaml")->status, 401);
  const auto description = client.Get("/openapi.yaml", token);
  ASSERT_TRUE(description);
  EXPECT_EQ(description->status, 200);
  EXPECT_EQ(description->get_header_value("Content-Type"), "application/yaml; charset=utf-8");
  EXPECT_EQ(description->body, FileText(source / "docs/openapi.yaml"));

  // Every schema of the source tree, by its path under the folder.
  size_t schemas = 0;
  if (std::filesystem::is_directory(source / "xsd")) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(source / "xsd")) {
      if (entry.path().extension() != ".xsd") continue;
      const std::string path =
          "/schemas/" + std::filesystem::relative(entry.path(), source / "xsd").generic_string();
      const auto schema = client.Get(path, token);
      ASSERT_TRUE(schema) << path;
      EXPECT_EQ(schema->status, 200) << path;
      EXPECT_EQ(schema->get_header_value("Content-Type"), "application/xml; charset=utf-8");
      EXPECT_EQ(schema->body, FileText(entry.path())) << path;
      EXPECT_EQ(client.Get(path)->status, 401) << path;
      ++schemas;
    }
  }
  RecordProperty("schemas", static_cast<int>(schemas));

  // Nothing else of the tree, however the path is written.
  for (const char* path :
       {"/schemas/../openapi.yaml", "/schemas/%2e%2e/openapi.yaml", "/schemas/.hidden.xsd",
        "/schemas/none.xsd", "/schemas/8.71", "/schemas/a//b.xsd", "/schemas/", "/openapi.yml"}) {
    const std::string answer =
        RawHttp(server.port(), std::string("GET ") + path +
                                   " HTTP/1.1\r\nHost: x\r\nAuthorization: "
                                   "Bearer a-token\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(StatusOf(answer), 404) << path << "\n" << answer;
  }
  EXPECT_EQ(client.Post("/openapi.yaml", token, "x", "text/plain")->status, 405);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

// Runs a shell command line; its exit code and what it printed (both streams).
std::pair<int, std::string> Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST_F(ServeOperations, TheExampleClientTrustsAGivenCertificateAndTakesTheTokenFromTheEnvironment) {
  TempDir dir;
  const TlsFiles tls = MakeSelfSignedCertificate(dir.path().string());
  ASSERT_FALSE(HasFailure());
  const std::string tokens = WriteTokensFile(dir.path().string(), "env-token\n");
  ServeProcess server(
      ServeArgs(db_, {"--tls-cert", tls.cert, "--tls-key", tls.key, "--tokens", tokens}));
  const std::string source = QUILLOR_SOURCE_DIR;
  const std::string client = "bash " + source + "/examples/serve-client.sh -u https://127.0.0.1:" +
                             std::to_string(server.port()) + " ";
  const std::string request = " " + source + "/examples/add.xml";

  const auto [sent, out] =
      Shell("QUILLOR_TOKEN=env-token " + client + "--cacert " + tls.cert + request);
  EXPECT_EQ(sent, 0) << out;
  EXPECT_NE(out.find("<reply"), std::string::npos) << out;
  // The certificate is not trusted without it; a wrong token is refused.
  EXPECT_EQ(Shell("QUILLOR_TOKEN=env-token " + client + request).first, 1);
  const auto [refused, why] =
      Shell("QUILLOR_TOKEN=other " + client + "--cacert " + tls.cert + request);
  EXPECT_EQ(refused, 1);
  EXPECT_NE(why.find("HTTP 401"), std::string::npos) << why;
  EXPECT_EQ(Shell(client + "--cacert /nonexistent.pem" + request).first, 1);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quillor::testing::operations
