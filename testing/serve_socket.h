// Raw connections for the serve tests: bytes sent as given (at once or slowly),
// and everything the server sends back until it closes or falls silent.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace quillor::testing {

class RawConnection {
 public:
  // With `receive_buffer`, the socket's receive buffer is set to that many bytes
  // before it connects, as a client on a slow link would have it.
  explicit RawConnection(int port, int receive_buffer = 0);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return fd_ >= 0; }
  // False once the server has closed or reset the connection.
  bool Send(const std::string& bytes);
  // Reads until the server closes, or `quiet` passes without a byte; returns
  // what came.
  std::string ReadAll(std::chrono::milliseconds quiet = std::chrono::milliseconds(3000));
  // Reads at most `most` bytes, waiting at most `wait` for the first; appends
  // them to `into` and returns how many came (0 at the end or after the wait).
  size_t ReadSome(std::string& into, size_t most, std::chrono::milliseconds wait);
  // True when the last ReadAll or ReadSome ended because the server closed.
  bool closed() const { return closed_; }

 private:
  int fd_ = -1;
  bool closed_ = false;
};

// The statuses of the answers in a text, in order (100 Continue included).
std::vector<int> Statuses(const std::string& text);

// How many access log lines (the JSON ones) a server's standard error holds.
int LogLines(const std::string& err);

}  // namespace quillor::testing
