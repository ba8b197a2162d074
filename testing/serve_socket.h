// Raw connections for the serve tests: bytes sent as given (at once or slowly),
// and everything the server sends back until it closes or falls silent.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace quillor::testing {

class RawConnection {
 public:
  explicit RawConnection(int port);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool connected() const { return fd_ >= 0; }
  // False once the server has closed or reset the connection.
  bool Send(const std::string& bytes);
  // Reads until the server closes, or `quiet` passes without a byte; returns
  // what came.
  std::string ReadAll(std::chrono::milliseconds quiet = std::chrono::milliseconds(3000));
  // True when the last ReadAll ended because the server closed.
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
