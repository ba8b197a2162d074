#include "bench/loopback_floor.h"

#include "bench/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

namespace quillor::bench {

namespace {

// Reads exactly `size` bytes; false at the end of the stream or a failure.
bool ReadExactly(int fd, std::string& buffer, size_t size) {
  for (size_t got = 0; got < size;) {
    const ssize_t n = ::recv(fd, buffer.data() + got, size - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// The child: answers each request at once until the bench closes.
[[noreturn]] void Answer(int listener, size_t request_bytes, size_t answer_bytes) {
  const int fd = ::accept(listener, nullptr, nullptr);
  if (fd < 0) _exit(1);
  NoDelay(fd);
  std::string request(request_bytes, '\0');
  const std::string answer(answer_bytes, 'a');
  while (ReadExactly(fd, request, request_bytes) && SendAll(fd, answer)) {
  }
  _exit(0);
}

// The processors the bench and its child are held to for one measurement; the
// bench's own set comes back when it goes.
class Pinning {
 public:
  explicit Pinning(Placement where) {
    if (sched_getaffinity(0, sizeof before_, &before_) != 0) return;
    std::vector<int> allowed;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &before_)) allowed.push_back(cpu);
    }
    if (allowed.empty() || (where == Placement::kOtherProcessor && allowed.size() < 2)) return;
    bench_ = allowed[0];
    child_ = where == Placement::kSameProcessor ? allowed[0] : allowed[1];
    ok_ = Pin(bench_);
  }
  ~Pinning() {
    if (bench_ >= 0) sched_setaffinity(0, sizeof before_, &before_);
  }
  Pinning(const Pinning&) = delete;
  Pinning& operator=(const Pinning&) = delete;

  bool ok() const { return ok_; }
  bool PinChild() const { return Pin(child_); }

 private:
  static bool Pin(int cpu) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0;
  }

  cpu_set_t before_{};
  int bench_ = -1;
  int child_ = -1;
  bool ok_ = false;
};

}  // namespace

double LoopbackRoundTrip(size_t request_bytes, size_t answer_bytes, int trips, Placement where) {
  const Pinning pinning(where);
  if (!pinning.ok()) return -1;
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 1) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener);
    return -1;
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (!pinning.PinChild()) _exit(1);
    Answer(listener, request_bytes, answer_bytes);
  }
  ::close(listener);
  if (child < 0) return -1;

  double seconds = -1;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    NoDelay(fd);
    const std::string request(request_bytes, 'r');
    std::string answer(answer_bytes, '\0');
    const auto trip = [&] { return SendAll(fd, request) && ReadExactly(fd, answer, answer_bytes); };
    bool ok = true;
    for (int i = 0; i < 100 && ok; ++i) ok = trip();  // the first trips warm the path up
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < trips && ok; ++i) ok = trip();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (ok) seconds = took.count() / trips;
  }
  if (fd >= 0) ::close(fd);
  ::waitpid(child, nullptr, 0);
  return seconds;
}

}  // namespace quillor::bench
