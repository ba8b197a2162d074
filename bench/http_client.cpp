#include "bench/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace quillor::bench {

KeepAliveClient::KeepAliveClient(int port) : port_(port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("no socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd_);
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  NoDelay(fd_);
}

KeepAliveClient::~KeepAliveClient() { ::close(fd_); }

bool KeepAliveClient::Fill() {
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

KeepAliveClient::Answer KeepAliveClient::Post(const std::string& path, const std::string& body,
                                              const std::string& content_type) {
  std::string request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                        "\r\nContent-Type: " + content_type +
                        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  if (!SendAll(fd_, request)) return {};
  size_t end = std::string::npos;
  while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
    if (!Fill()) return {};
  }
  const std::string head = buffer_.substr(0, end + 2);
  buffer_.erase(0, end + 4);
  Answer answer;
  if (head.size() < 12) return {};
  answer.status = std::atoi(head.c_str() + 9);
  // The server always gives the length of a whole answer.
  size_t length = 0;
  for (size_t line = head.find("\r\n"); line != std::string::npos;
       line = head.find("\r\n", line + 2)) {
    static constexpr char kLength[] = "content-length:";
    if (strncasecmp(head.c_str() + line + 2, kLength, sizeof kLength - 1) == 0) {
      length = std::strtoull(head.c_str() + line + 2 + sizeof kLength - 1, nullptr, 10);
    }
  }
  while (buffer_.size() < length) {
    if (!Fill()) return {};
  }
  answer.body = buffer_.substr(0, length);
  buffer_.erase(0, length);
  answer.request_bytes = request.size();
  answer.answer_bytes = end + 4 + length;
  return answer;
}

bool SendAll(int fd, std::string_view bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

void NoDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

double ProcessCpuSeconds(int pid) {
  // Each thread's time on a processor, in nanoseconds, is the first field of its
  // schedstat: finer than the clock ticks of stat.
  double seconds = 0;
  std::error_code ec;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
    std::ifstream in(task.path() / "schedstat");
    double nanoseconds = 0;
    if (in >> nanoseconds) seconds += nanoseconds * 1e-9;
  }
  return seconds;
}

}  // namespace quillor::bench
