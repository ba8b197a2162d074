// For tests: the quillor command run as a child process. ServeProcess starts
// `quillor serve` on a free loopback port and reads the port from its listening
// line; RunQuillor runs one command to its end; RawHttp speaks to a socket
// directly, for requests no client library would send.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace quillor::testing {

struct CommandResult {
  int exit_code = -1;  // -1 when the command did not exit normally
  std::string out;
  std::string err;
};

// Runs build/bin/quillor with the arguments, stdin from the given text.
CommandResult RunQuillor(const std::vector<std::string>& args, const std::string& in = "");

class ServeProcess {
 public:
  // Starts `quillor serve ARGS` (without --listen, 127.0.0.1:0 is added) and waits
  // for the listening line; a server that ends first or stays silent is a
  // std::runtime_error carrying its standard error.
  // With `open_files`, the server runs with that limit of open files, soft and
  // hard, as a lowered `ulimit -n` would set it.
  explicit ServeProcess(std::vector<std::string> args, unsigned long open_files = 0);
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  const std::string& listening_line() const { return line_; }

  // Sends the signal and waits for the end, at most `limit`; returns the exit
  // code, or -1 for a server killed by a signal or over the limit.
  int Stop(int signal, std::chrono::seconds limit = std::chrono::seconds(60));
  void Signal(int signal);
  // Waits for the end, at most `limit` (then the server is killed); returns as Stop.
  int Wait(std::chrono::seconds limit = std::chrono::seconds(60));
  // Everything the server wrote on standard error so far.
  std::string Err() const;

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string line_;
  std::string err_file_;
};

// Sends the bytes to 127.0.0.1:port and returns what comes back: one whole
// answer, or what came until the server closed the connection or `wait` passed
// without news.
std::string RawHttp(int port, const std::string& bytes,
                    std::chrono::milliseconds wait = std::chrono::milliseconds(3000));

// The status of an HTTP answer's first line; 0 for none.
int StatusOf(const std::string& answer);

}  // namespace quillor::testing
