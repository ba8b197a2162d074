// Three servers with tokens on one PostgreSQL database behind HAProxy, with the
// configuration the serving manual shows: clients that resend what got no
// answer, while one server is killed and another stopped, find every line
// stored exactly once and every item result true to the rows.
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "testing/free_port.h"
#include "testing/pg_database.h"
#include "testing/serve_fixture.h"

namespace quillor::testing::scale_out {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHaproxy = "/usr/sbin/haproxy";
constexpr int kClients = 8;
constexpr int kRequests = 200;
constexpr int kLines = 5;
constexpr int kDistinct = 1000;

constexpr const char* kToken = "scale-out-token";

// The HAProxy configuration of docs/serving.md, read from the document itself:
// the indented block after its marker. Only what names this machine changes:
// the frontend listens on a loopback port with the test's certificate, and the
// servers are the test's.
std::string HaproxyConfig(const std::string& pem, int front, const std::vector<int>& servers) {
  std::ifstream doc(std::string(QUILLOR_SOURCE_DIR) + "/docs/serving.md");
  std::string line, config;
  bool in_block = false;
  while (std::getline(doc, line)) {
    if (!in_block) {
      in_block = line.find("<!-- haproxy.cfg:") != std::string::npos;
      continue;
    }
    if (line.empty() && config.empty()) continue;
    if (line.rfind("    ", 0) != 0) break;
    config += line.substr(4) + "\n";
  }
  config = std::regex_replace(config, std::regex(R"(0\.0\.0\.0:8443)"),
                              "127.0.0.1:" + std::to_string(front));
  config = std::regex_replace(config, std::regex(R"(/etc/quillor/gateway\.pem)"), pem);
  size_t next = 0;
  std::string placed;
  const std::regex server(R"(^(  server \S+ )[0-9.]+:[0-9]+)");
  std::istringstream lines(config);
  while (std::getline(lines, line)) {
    std::smatch found;
    if (std::regex_search(line, found, server) && next < servers.size()) {
      line = found[1].str() + "127.0.0.1:" + std::to_string(servers[next++]) + found.suffix().str();
    }
    placed += line + "\n";
  }
  EXPECT_EQ(next, servers.size()) << "the document's configuration has other servers:\n" << config;
  return placed;
}

class Haproxy {
 public:
  explicit Haproxy(const std::string& config_file) {
    pid_ = fork();
    if (pid_ == 0) {
      // The health check's token comes from the environment, as the document says.
      setenv("QUILLOR_HEALTH_TOKEN", kToken, 1);
      execl(kHaproxy, kHaproxy, "-db", "-q", "-f", config_file.c_str(), nullptr);
      _exit(127);
    }
  }
  ~Haproxy() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

std::unique_ptr<httplib::SSLClient> GatewayClient(int port, const std::string& ca) {
  auto client = std::make_unique<httplib::SSLClient>("127.0.0.1", port);
  client->set_ca_cert_path(ca.c_str());
  client->enable_server_certificate_verification(true);
  client->set_default_headers({{"Authorization", std::string("Bearer ") + kToken}});
  client->set_keep_alive(true);
  client->set_read_timeout(30);
  return client;
}

int LineOf(int client, int request, int i) {
  return (client * kDistinct / 4 + request * kLines + i) % kDistinct;
}

TEST(ServeScaleOut, ThreeServersBehindHaproxyStoreEveryLineOnceThroughAKillAndAStop) {
  if (!PgConnectionText()) GTEST_SKIP() << "no PostgreSQL server given";
  if (!std::filesystem::exists(kHaproxy)) GTEST_SKIP() << "no " << kHaproxy;
  TestDb db;
  AddMasterRows(db, kDistinct);

  TempDir dir;
  const std::string tokens = WriteTokensFile(dir.path().string(), std::string(kToken) + "\n");
  std::vector<std::unique_ptr<ServeProcess>> servers;
  std::vector<int> ports;
  for (int i = 0; i < 3; ++i) {
    servers.push_back(std::make_unique<ServeProcess>(
        ServeArgs(db, {"--threads", "4", "--drain-timeout", "10", "--tokens", tokens})));
    ports.push_back(servers.back()->port());
  }
  // The gateway's certificate and key in one file, as HAProxy's crt takes them.
  const TlsFiles tls = MakeSelfSignedCertificate(dir.path().string());
  ASSERT_FALSE(HasFailure());
  const std::string pem = (dir.path() / "gateway.pem").string();
  {
    std::ifstream cert(tls.cert), key(tls.key);
    std::ofstream(pem) << cert.rdbuf() << key.rdbuf();
  }
  const int front = FreeLoopbackPort();
  const std::string config = (dir.path() / "haproxy.cfg").string();
  std::ofstream(config) << HaproxyConfig(pem, front, ports);
  ASSERT_FALSE(HasFailure());
  Haproxy proxy(config);
  // Until the proxy answers and its health checks, token and all, see a server up.
  int health = 0;
  for (int i = 0; i < 100 && health != 200; ++i) {
    std::this_thread::sleep_for(100ms);
    const auto answer = GatewayClient(front, tls.cert)->Get("/healthz");
    health = answer ? answer->status : 0;
  }
  ASSERT_EQ(health, 200) << "the gateway at 127.0.0.1:" << front << " with\n"
                         << HaproxyConfig(pem, front, ports);

  std::atomic<int> answered{0};
  std::vector<std::map<int, std::string>> codes(kClients);  // line -> last item code
  std::vector<int> resends(kClients, 0);
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      static const std::regex item(R"re(<item id="(\d+)" code="(\d+)")re");
      const auto client = GatewayClient(front, tls.cert);
      for (int r = 0; r < kRequests; ++r) {
        std::vector<int> lines;
        for (int i = 0; i < kLines; ++i) lines.push_back(LineOf(c, r, i));
        const std::string request = ServeAddRequest(lines);
        // A request without a 200 answer is sent again, as a client that was
        // told nothing must.
        for (int attempt = 0; attempt < 50; ++attempt) {
          const auto answer = client->Post("/transact", request, "application/xml");
          if (answer && answer->status == 200) {
            for (auto it = std::sregex_iterator(answer->body.begin(), answer->body.end(), item);
                 it != std::sregex_iterator(); ++it) {
              codes[c][std::stoi((*it)[1])] = (*it)[2];
            }
            break;
          }
          ++resends[c];
          std::this_thread::sleep_for(100ms);
        }
        ++answered;
      }
    });
  }
  const auto limit = std::chrono::steady_clock::now() + 180s;
  while (answered < kClients * kRequests / 3 && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(5ms);
  }
  servers[0]->Signal(SIGKILL);
  while (answered < kClients * kRequests * 2 / 3 && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(5ms);
  }
  servers[1]->Signal(SIGTERM);
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(servers[1]->Wait(30s), 0);
  EXPECT_EQ(servers[2]->Stop(SIGTERM), 0);
  // With no server left, the gateway's own answer still says when to come back.
  const auto none =
      GatewayClient(front, tls.cert)->Post("/transact", ServeAddRequest({1}), "application/xml");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->status, 503);
  EXPECT_EQ(none->get_header_value("Retry-After"), "5");

  // Every line answered, stored once, and as it was sent.
  std::map<int, std::string> all;
  for (const auto& client : codes) all.insert(client.begin(), client.end());
  EXPECT_EQ(all.size(), static_cast<size_t>(kDistinct));
  for (const auto& [line, code] : all) EXPECT_EQ(code, "0") << "line " << line;
  EXPECT_EQ(db.Rows("select count(*) from ca_mabsw")[0][0], std::to_string(kDistinct));
  EXPECT_EQ(db.Rows("select count(*) - count(distinct cMatID) from ca_mabsw")[0][0], "0");
  EXPECT_EQ(db.Rows("select count(*) from ca_mabsw where not (cDeptID = 'D01' and cppid = '1001' "
                    "and cBatch = 'B1' and iQua = 3 and iPrice = 2 and iMatQua = 6 and "
                    "iPeriod = 5)")[0][0],
            "0");
}

}  // namespace
}  // namespace quillor::testing::scale_out
