#include "testing/tds_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <stdexcept>

#include "platform/base/text.h"

namespace quillor::testing {
namespace {

constexpr uint8_t kPreLogin = 0x12;
constexpr uint8_t kLogin7 = 0x10;
constexpr uint8_t kReply = 0x04;
constexpr int kWaitMs = 10000;  // a client that stops sending is let go after this

// Waits for fd to be readable; false after kWaitMs or when stopping.
bool Readable(int fd, const std::atomic<bool>& stop) {
  for (int waited = 0; waited < kWaitMs && !stop.load(); waited += 100) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) return true;
  }
  return false;
}

bool ReadAll(int fd, uint8_t* out, size_t n, const std::atomic<bool>& stop) {
  while (n > 0) {
    if (!Readable(fd, stop)) return false;
    const ssize_t got = ::recv(fd, out, n, 0);
    if (got <= 0) return false;
    out += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

void SendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

// One message: the packets of one type up to the one marked last.
struct Message {
  uint8_t type = 0;
  std::vector<uint8_t> data;
};

std::optional<Message> ReadMessage(int fd, const std::atomic<bool>& stop) {
  Message m;
  for (;;) {
    uint8_t header[8];
    if (!ReadAll(fd, header, sizeof header, stop)) return std::nullopt;
    const size_t length = (size_t{header[2]} << 8) | header[3];
    if (length < 8) return std::nullopt;
    m.type = header[0];
    const size_t at = m.data.size();
    m.data.resize(at + length - 8);
    if (!ReadAll(fd, m.data.data() + at, length - 8, stop)) return std::nullopt;
    if (header[1] & 0x01) return m;
  }
}

std::vector<uint8_t> Packet(uint8_t type, const std::vector<uint8_t>& data) {
  const size_t length = data.size() + 8;
  // Sized at once and filled: GCC 12 at -O3 takes an insertion after the eight
  // header bytes for a write past them (-Warray-bounds).
  std::vector<uint8_t> out(length);
  const uint8_t header[8] = {
      type, 0x01, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xff), 0, 0,
      1,    0};
  std::copy(std::begin(header), std::end(header), out.begin());
  std::copy(data.begin(), data.end(), out.begin() + 8);
  return out;
}

uint16_t Le16(const std::vector<uint8_t>& d, size_t at) {
  return at + 2 <= d.size() ? static_cast<uint16_t>(d[at] | (d[at + 1] << 8)) : 0;
}
uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return at + 4 <= d.size() ? uint32_t{Le16(d, at)} | (uint32_t{Le16(d, at + 2)} << 16) : 0;
}

void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xff));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
}
void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  PutLe16(out, v & 0xffff);
  PutLe16(out, v >> 16);
}
void PutUtf16(std::vector<uint8_t>& out, std::string_view ascii) {
  for (const char c : ascii) PutLe16(out, static_cast<uint8_t>(c));
}

// A login field: UTF-16LE, chars long, at offset; a password also scrambled (each
// byte's halves swapped, then XOR 0xA5).
std::string Field(const std::vector<uint8_t>& login, size_t entry, bool scrambled = false) {
  const size_t offset = Le16(login, entry);
  const size_t chars = Le16(login, entry + 2);
  auto byte = [&](size_t at) -> uint8_t {
    if (at >= login.size()) return 0;
    if (!scrambled) return login[at];
    const uint8_t x = login[at] ^ 0xA5;
    return static_cast<uint8_t>((x << 4) | (x >> 4));
  };
  auto unit = [&](size_t i) -> char32_t {
    return static_cast<char32_t>(byte(offset + 2 * i) | (byte(offset + 2 * i + 1) << 8));
  };
  std::string out;
  for (size_t i = 0; i < chars; ++i) {
    char32_t code = unit(i);
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < chars) {  // a surrogate pair
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
      ++i;
    }
    AppendUtf8(out, code);
  }
  return out;
}

void Decode(const std::vector<uint8_t>& login, TdsLogin& out) {
  out.logged_in = true;
  out.tds_version = Le32(login, 4);
  out.integrated = (login.size() > 25) && (login[25] & 0x80);
  out.workstation = Field(login, 36);
  out.user = Field(login, 40);
  out.password = Field(login, 44, true);
  out.app = Field(login, 48);
  out.server = Field(login, 52);
  out.database = Field(login, 68);
}

// The pre-login answer: version 15.0, no encryption, no instance, no MARS.
std::vector<uint8_t> PreLoginAnswer() {
  const std::vector<uint8_t> options = {0x00, 0, 21, 0, 6,  // version
                                        0x01, 0, 27, 0, 1,  // encryption
                                        0x02, 0, 28, 0, 1,  // instance
                                        0x04, 0, 29, 0, 1,  // MARS
                                        0xFF};
  std::vector<uint8_t> data = options;
  data.insert(data.end(), {15, 0, 0x07, 0xD0, 0, 0, /*not supported*/ 0x02, 0x00, 0x00});
  return data;
}

// The refusal a server sends for a wrong password, in the client's version.
std::vector<uint8_t> LoginRefused(const TdsLogin& login) {
  const bool wide_counts = (login.tds_version >> 24) >= 0x72;
  const std::string text = "Login failed for user '" + login.user + "'.";
  const std::string server = "QUILLORTEST";
  std::vector<uint8_t> body;
  PutLe32(body, 18456);
  body.push_back(1);   // state
  body.push_back(14);  // class
  PutLe16(body, static_cast<uint32_t>(text.size()));
  PutUtf16(body, text);
  body.push_back(static_cast<uint8_t>(server.size()));
  PutUtf16(body, server);
  body.push_back(0);  // no procedure
  if (wide_counts) {
    PutLe32(body, 1);
  } else {
    PutLe16(body, 1);
  }
  std::vector<uint8_t> data = {0xAA};
  PutLe16(data, static_cast<uint32_t>(body.size()));
  data.insert(data.end(), body.begin(), body.end());
  data.push_back(0xFD);  // done, with an error
  PutLe16(data, 0x0002);
  PutLe16(data, 0);
  PutLe32(data, 0);
  if (wide_counts) PutLe32(data, 0);
  return data;
}

}  // namespace

TdsListener::TdsListener(const std::string& address, const std::string& instance)
    : instance_(instance) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1) {
    throw std::runtime_error("not an IPv4 address: " + address);
  }
  listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
  const int on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener_, 8) != 0) {
    if (listener_ >= 0) ::close(listener_);
    throw std::runtime_error("cannot listen on " + address);
  }
  socklen_t size = sizeof a;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
  port_ = ntohs(a.sin_port);
  if (!instance.empty()) {
    udp_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    a.sin_port = htons(1434);
    if (udp_ < 0 || ::bind(udp_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      if (udp_ >= 0) ::close(udp_);
      ::close(listener_);
      throw std::runtime_error("cannot answer instance lookups on " + address + ":1434");
    }
  }
  thread_ = std::thread([this] { Serve(); });
}

TdsListener::~TdsListener() {
  stop_.store(true);
  thread_.join();
  ::close(listener_);
  if (udp_ >= 0) ::close(udp_);
}

std::vector<TdsLogin> TdsListener::logins(size_t at_least) const {
  std::unique_lock lock(mutex_);
  served_.wait_for(lock, std::chrono::seconds(20), [&] { return logins_.size() >= at_least; });
  return logins_;
}

void TdsListener::Serve() {
  while (!stop_.load()) {
    pollfd p[2] = {{listener_, POLLIN, 0}, {udp_, POLLIN, 0}};
    if (::poll(p, udp_ >= 0 ? 2 : 1, 100) <= 0) continue;
    if (udp_ >= 0 && (p[1].revents & POLLIN)) AnswerLookup();
    if (p[0].revents & POLLIN) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      ServeOne(client);
      ::close(client);
    }
  }
}

void TdsListener::ServeOne(int socket) {
  TdsLogin login;
  std::optional<Message> m = ReadMessage(socket, stop_);
  if (m && m->type == kPreLogin) {
    const std::vector<uint8_t>& d = m->data;
    for (size_t at = 0; at + 5 <= d.size() && d[at] != 0xFF; at += 5) {
      const size_t offset = (size_t{d[at + 1]} << 8) | d[at + 2];
      if (d[at] == 0x01 && offset < d.size()) login.encryption = d[offset];
    }
    SendAll(socket, Packet(kReply, PreLoginAnswer()));
    m = ReadMessage(socket, stop_);
  }
  if (m && m->type == kLogin7) Decode(m->data, login);
  {
    std::lock_guard lock(mutex_);
    logins_.push_back(login);
  }
  served_.notify_all();
  if (login.logged_in) SendAll(socket, Packet(kReply, LoginRefused(login)));
}

void TdsListener::AnswerLookup() {
  uint8_t request[512];
  sockaddr_in from{};
  socklen_t size = sizeof from;
  const ssize_t n =
      ::recvfrom(udp_, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from), &size);
  if (n < 1) return;
  const std::string text = "ServerName;QUILLORTEST;InstanceName;" + instance_ +
                           ";IsClustered;No;Version;15.0.2000.5;tcp;" + std::to_string(port_) +
                           ";;";
  std::vector<uint8_t> answer = {0x05};
  PutLe16(answer, static_cast<uint32_t>(text.size()));
  answer.insert(answer.end(), text.begin(), text.end());
  ::sendto(udp_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), size);
  lookups_.fetch_add(1);
}

std::string LoginLines(const TdsLogin& login) {
  return "workstation=" + login.workstation + "\nuser=" + login.user +
         "\npassword=" + login.password + "\napp=" + login.app + "\nserver=" + login.server +
         "\ndatabase=" + login.database + "\nintegrated=" + (login.integrated ? "1" : "0") +
         "\nencryption=" + (login.encryption ? std::to_string(*login.encryption) : "none") +
         "\nlogged_in=" + (login.logged_in ? "1" : "0") + "\n";
}

}  // namespace quillor::testing
