#include "testing/serve_process.h"

#include "platform/base/text.h"
#include "testing/temp_dir.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace quillor::testing {

namespace {

const std::string kQuillor = std::string(QUILLOR_BUILD_DIR) + "/bin/quillor";

std::string TempPath(const char* what) {
  static int counter = 0;
  return "/tmp/quillor-serve-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++) +
         "." + what;
}

[[noreturn]] void Exec(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(kQuillor.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(kQuillor.c_str(), argv.data());
  _exit(127);
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

CommandResult RunQuillor(const std::vector<std::string>& args, const std::string& in) {
  const std::string in_file = TempPath("in"), out_file = TempPath("out"),
                    err_file = TempPath("err");
  std::ofstream(in_file, std::ios::binary) << in;
  const pid_t pid = fork();
  if (pid == 0) {
    const int i = open(in_file.c_str(), O_RDONLY);
    const int o = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(i, 0);
    dup2(o, 1);
    dup2(e, 2);
    Exec(args);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  CommandResult result{ExitCodeOf(status), testing::ReadFileText(out_file),
                       testing::ReadFileText(err_file)};
  for (const std::string& f : {in_file, out_file, err_file}) unlink(f.c_str());
  return result;
}

ServeProcess::ServeProcess(std::vector<std::string> args, unsigned long open_files)
    : err_file_(TempPath("serve-err")) {
  bool has_listen = false;
  for (const std::string& a : args) has_listen = has_listen || a == "--listen";
  if (!has_listen) {
    args.push_back("--listen");
    args.push_back("127.0.0.1:0");
  }
  args.insert(args.begin(), "serve");
  // The test's clients write to servers and gateways that a test kills on
  // purpose; httplib's TLS writes do not ask for MSG_NOSIGNAL, so a write to a
  // closed peer would end the whole test binary rather than fail one request.
  signal(SIGPIPE, SIG_IGN);
  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    signal(SIGPIPE, SIG_DFL);  // the server starts as a service manager starts it
    const int e = open(err_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out[1], 1);
    dup2(e, 2);
    close(out[0]);
    close(out[1]);
    if (open_files > 0) {
      const rlimit limit{open_files, open_files};
      if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
    }
    Exec(args);
  }
  close(out[1]);
  // The first line, within a bounded time.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::string text;
  while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[256];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  const size_t end = text.find('\n');
  if (end == std::string::npos) {
    Stop(SIGKILL);
    throw std::runtime_error("quillor serve did not listen: " + Err());
  }
  line_ = text.substr(0, end);
  port_ = std::atoi(line_.substr(line_.rfind(':') + 1).c_str());
}

ServeProcess::~ServeProcess() {
  if (pid_ > 0) Stop(SIGKILL);
  unlink(err_file_.c_str());
}

int ServeProcess::Stop(int signal, std::chrono::seconds limit) {
  Signal(signal);
  return Wait(limit);
}

void ServeProcess::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int ServeProcess::Wait(std::chrono::seconds limit) {
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  pid_t done = 0;
  while ((done = waitpid(pid_, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (done == 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
  }
  pid_ = -1;
  return ExitCodeOf(status);
}

std::string ServeProcess::Err() const { return testing::ReadFileText(err_file_); }

namespace {

// True once the text holds one whole answer: its headers and the body they announce.
bool WholeAnswer(const std::string& text) {
  const size_t end = text.find("\r\n\r\n");
  if (end == std::string::npos) return false;
  const std::string head = AsciiLower(text.substr(0, end));
  if (head.find("transfer-encoding: chunked") != std::string::npos) {
    return text.find("\r\n0\r\n\r\n", end) != std::string::npos;
  }
  const size_t length = head.find("content-length: ");
  if (length == std::string::npos) return false;
  return text.size() - end - 4 >= std::stoul(head.substr(length + 16));
}

}  // namespace

std::string RawHttp(int port, const std::string& bytes, std::chrono::milliseconds wait) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) break;
      char buf[4096];
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      answer.append(buf, static_cast<size_t>(n));
      if (WholeAnswer(answer)) break;
    }
  }
  close(fd);
  return answer;
}

int StatusOf(const std::string& answer) {
  if (answer.rfind("HTTP/1.", 0) != 0 || answer.size() < 12) return 0;
  return std::atoi(answer.substr(9, 3).c_str());
}

}  // namespace quillor::testing
