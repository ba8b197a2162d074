// A keep-alive HTTP/1.1 client for the bench, as lean as a client can be: each
// request goes out in one write (head and body together, as curl sends a small
// body), and each answer is read in as few reads as it arrives in, so that what
// the bench times is the server's part, not the client's.
#pragma once

#include <string>
#include <string_view>

namespace quillor::bench {

class KeepAliveClient {
 public:
  struct Answer {
    int status = 0;  // 0: no answer (the connection failed)
    std::string body;
    size_t request_bytes = 0;  // the whole request as sent, head and body
    size_t answer_bytes = 0;   // the whole answer as received
  };

  // Connects to the loopback port, with TCP_NODELAY; throws std::runtime_error.
  explicit KeepAliveClient(int port);
  ~KeepAliveClient();
  KeepAliveClient(const KeepAliveClient&) = delete;
  KeepAliveClient& operator=(const KeepAliveClient&) = delete;

  Answer Post(const std::string& path, const std::string& body, const std::string& content_type);

 private:
  bool Fill();  // reads what has come into buffer_; false at the end or a failure

  int fd_ = -1;
  int port_ = 0;
  std::string buffer_;
};

// Writes all of `bytes` to the socket; false when the connection fails first.
bool SendAll(int fd, std::string_view bytes);

// Sends each write at once, not held back for the acknowledgement of the last.
void NoDelay(int fd);

// The processor time a process has used so far, in seconds, over all its threads.
double ProcessCpuSeconds(int pid);

}  // namespace quillor::bench
