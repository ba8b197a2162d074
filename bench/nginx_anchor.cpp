#include "bench/nginx_anchor.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace quillor::bench {
namespace {

// A port nobody listens on now: the kernel's pick for a socket bound to port 0.
int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

// nginx's own quoting of a string literal: the answer is the bench's reply text,
// which holds double quotes and no single ones.
std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

NginxAnchor::NginxAnchor(const std::filesystem::path& dir, const std::string& answer) {
  if (access(kProgram, X_OK) != 0) {
    why_ = std::string(kProgram) + " is missing (scripts/bench installs nginx-light)";
    return;
  }
  std::filesystem::create_directories(dir / "logs");
  port_ = FreeLoopbackPort();
  const std::filesystem::path conf = dir / "nginx.conf";
  // The access log's line holds what the server's own line holds, escaped as
  // JSON, and is written at each request as the server writes its own.
  std::ofstream(conf) << "worker_processes 1;\n"
                         "error_log "
                      << (dir / "logs/error.log").string()
                      << " error;\n"
                         "pid "
                      << (dir / "nginx.pid").string()
                      << ";\n"
                         "events { worker_connections 64; }\n"
                         "http {\n"
                         "  log_format json escape=json '{\"time\":\"$time_iso8601\","
                         "\"client\":\"$remote_addr\",\"method\":\"$request_method\","
                         "\"path\":\"$uri\",\"status\":$status,\"bytes\":$bytes_sent,"
                         "\"duration_ms\":$request_time}';\n"
                         "  access_log "
                      << (dir / "logs/access.log").string()
                      << " json;\n"
                         "  client_body_temp_path "
                      << (dir / "body").string()
                      << ";\n"
                         "  keepalive_requests 1000000;\n"
                         "  server {\n"
                         "    listen 127.0.0.1:"
                      << port_
                      << ";\n"
                         "    location = /transact {\n"
                         "      default_type application/xml;\n"
                         "      return 200 "
                      << Quoted(answer)
                      << ";\n"
                         "    }\n"
                         "  }\n"
                         "}\n";
  pid_ = fork();
  if (pid_ == 0) {
    if (freopen("/dev/null", "w", stderr) == nullptr) _exit(127);
    // No master: one process serves, so its processor time is all of nginx's.
    execl(kProgram, kProgram, "-p", dir.c_str(), "-c", conf.c_str(), "-g",
          "daemon off; master_process off;", nullptr);
    _exit(127);
  }
  for (int tries = 0; tries < 200 && pid_ > 0; ++tries) {
    if (Accepts(port_)) return;
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  why_ = "nginx did not start (see " + (dir / "logs/error.log").string() + ")";
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = 0;
}

NginxAnchor::~NginxAnchor() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

}  // namespace quillor::bench
