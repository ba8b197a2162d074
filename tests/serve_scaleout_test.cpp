// Three servers on one PostgreSQL database behind HAProxy: clients that resend
// what got no answer, while one server is killed and another stopped, find
// every line stored exactly once and every item result true to the rows.
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
#include <thread>

#include "testing/free_port.h"
#include "testing/pg_database.h"
#include "testing/serve_fixture.h"

namespace quillor::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kHaproxy = "/usr/sbin/haproxy";
constexpr int kClients = 8;
constexpr int kRequests = 200;
constexpr int kLines = 5;
constexpr int kDistinct = 1000;

// The configuration the serving documentation shows, on the given ports.
std::string HaproxyConfig(int front, const std::vector<int>& servers) {
  std::string config =
      "global\n  maxconn 512\n"
      "defaults\n  mode http\n  timeout connect 2s\n  timeout client 60s\n"
      "  timeout server 60s\n  retries 3\n  option redispatch\n"
      "frontend quillor\n  bind 127.0.0.1:" +
      std::to_string(front) +
      "\n  default_backend quillor_servers\n"
      "backend quillor_servers\n  balance roundrobin\n  option httpchk GET /healthz\n"
      "  http-check expect status 200\n  retry-on conn-failure empty-response 503\n";
  for (size_t i = 0; i < servers.size(); ++i) {
    config += "  server s" + std::to_string(i) + " 127.0.0.1:" + std::to_string(servers[i]) +
              " check inter 500ms fall 1 rise 2\n";
  }
  return config;
}

class Haproxy {
 public:
  explicit Haproxy(const std::string& config_file) {
    pid_ = fork();
    if (pid_ == 0) {
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

int LineOf(int client, int request, int i) {
  return (client * kDistinct / 4 + request * kLines + i) % kDistinct;
}

TEST(ServeScaleOut, ThreeServersBehindHaproxyStoreEveryLineOnceThroughAKillAndAStop) {
  if (!PgConnectionText()) GTEST_SKIP() << "no PostgreSQL server given";
  if (!std::filesystem::exists(kHaproxy)) GTEST_SKIP() << "no " << kHaproxy;
  TestDb db;
  AddMasterRows(db, kDistinct);

  std::vector<std::unique_ptr<ServeProcess>> servers;
  std::vector<int> ports;
  for (int i = 0; i < 3; ++i) {
    servers.push_back(
        std::make_unique<ServeProcess>(ServeArgs(db, {"--threads", "4", "--drain-timeout", "10"})));
    ports.push_back(servers.back()->port());
  }
  TempDir dir;
  const int front = FreeLoopbackPort();
  const std::string config = (dir.path() / "haproxy.cfg").string();
  std::ofstream(config) << HaproxyConfig(front, ports);
  Haproxy proxy(config);
  // Until the proxy answers and sees a server up.
  std::string health;
  for (int i = 0; i < 100 && StatusOf(health) != 200; ++i) {
    std::this_thread::sleep_for(100ms);
    health = RawHttp(front, "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n", 1000ms);
  }
  ASSERT_EQ(StatusOf(health), 200) << health;

  std::atomic<int> answered{0};
  std::vector<std::map<int, std::string>> codes(kClients);  // line -> last item code
  std::vector<int> resends(kClients, 0);
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      static const std::regex item(R"re(<item id="(\d+)" code="(\d+)")re");
      httplib::Client client("127.0.0.1", front);
      client.set_keep_alive(true);
      client.set_read_timeout(30);
      for (int r = 0; r < kRequests; ++r) {
        std::vector<int> lines;
        for (int i = 0; i < kLines; ++i) lines.push_back(LineOf(c, r, i));
        const std::string request = ServeAddRequest(lines);
        // A request without a 200 answer is sent again, as a client that was
        // told nothing must.
        for (int attempt = 0; attempt < 50; ++attempt) {
          const auto answer = client.Post("/transact", request, "application/xml");
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
}  // namespace quillor::testing
