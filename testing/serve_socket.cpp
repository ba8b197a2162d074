#include "testing/serve_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>

namespace quillor::testing {

RawConnection::RawConnection(int port, int receive_buffer) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  if (receive_buffer > 0) {
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

RawConnection::~RawConnection() {
  if (fd_ >= 0) close(fd_);
}

bool RawConnection::Send(const std::string& bytes) {
  size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return fd_ >= 0;
}

std::string RawConnection::ReadAll(std::chrono::milliseconds quiet) {
  std::string text;
  closed_ = false;
  while (fd_ >= 0) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(quiet.count())) <= 0) break;
    char buf[8192];
    const ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
      closed_ = true;
      break;
    }
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

size_t RawConnection::ReadSome(std::string& into, size_t most, std::chrono::milliseconds wait) {
  if (fd_ < 0) return 0;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return 0;
  const size_t before = into.size();
  into.resize(before + most);
  const ssize_t n = recv(fd_, into.data() + before, most, 0);
  into.resize(before + (n > 0 ? static_cast<size_t>(n) : 0));
  if (n <= 0) closed_ = true;
  return n > 0 ? static_cast<size_t>(n) : 0;
}

std::vector<int> Statuses(const std::string& text) {
  static const std::regex status_line("(^|\n)HTTP/1\\.1 (\\d{3}) ");
  std::vector<int> statuses;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), status_line);
       it != std::sregex_iterator(); ++it) {
    statuses.push_back(std::stoi((*it)[2]));
  }
  return statuses;
}

int LogLines(const std::string& err) {
  int lines = 0;
  for (size_t at = 0; at < err.size();) {
    if (err[at] == '{') ++lines;
    const size_t end = err.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lines;
}

}  // namespace quillor::testing
