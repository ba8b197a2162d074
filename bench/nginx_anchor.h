// nginx answering a fixed text on loopback, with a JSON access log written to a
// file: the anchor the server's own processor time per request is held against.
// The figure of a fixed answer moves with the machine as the server's does, so
// their ratio is what the bench can compare between machines.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace quillor::bench {

class NginxAnchor {
 public:
  // Where Debian's nginx-light puts the server.
  static constexpr const char* kProgram = "/usr/sbin/nginx";

  // Starts one nginx process (no master, one worker's work) in `dir`, answering
  // every POST to /transact with 200 and `answer`. pid() is 0 when it could not
  // start, and why() says why.
  NginxAnchor(const std::filesystem::path& dir, const std::string& answer);
  ~NginxAnchor();
  NginxAnchor(const NginxAnchor&) = delete;
  NginxAnchor& operator=(const NginxAnchor&) = delete;

  pid_t pid() const { return pid_; }
  int port() const { return port_; }
  const std::string& why() const { return why_; }

 private:
  pid_t pid_ = 0;
  int port_ = 0;
  std::string why_;
};

}  // namespace quillor::bench
