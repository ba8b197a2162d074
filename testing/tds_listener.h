// A stand-in for SQL Server on loopback, for the tests of the connection texts: it
// answers a client's pre-login with "no encryption", reads the login that follows
// and decodes what it carries, then refuses it as a server refuses a wrong
// password (error 18456). What reached the wire proves how a text was read. With
// an instance to answer for, it also answers the instance lookup on UDP port
// 1434 of its address, naming its own TCP port.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quillor::testing {

// What one client sent.
struct TdsLogin {
  // The encryption the pre-login asked for: 0 off, 1 on, 2 not supported,
  // 3 required; none when the client sent no pre-login.
  std::optional<uint8_t> encryption;
  bool logged_in = false;  // the login packet came (a client that wants encryption stops before)
  uint32_t tds_version = 0;
  bool integrated = false;  // the login asks for the operating system's login
  std::string workstation, user, password, app, server, database;
};

class TdsListener {
 public:
  // Listens on address (a loopback address) at a port the system picks; with an
  // instance, also answers the lookup for it on UDP port 1434 of the address.
  explicit TdsListener(const std::string& address = "127.0.0.1", const std::string& instance = "");
  ~TdsListener();
  TdsListener(const TdsListener&) = delete;
  TdsListener& operator=(const TdsListener&) = delete;

  uint16_t port() const { return port_; }
  // The clients served so far, in order, once at least `at_least` have been (or
  // 20 s have passed): a client that gives up after the pre-login may have left
  // before this listener has read to the end of its connection.
  std::vector<TdsLogin> logins(size_t at_least = 1) const;
  // How many instance lookups were answered.
  int lookups() const { return lookups_.load(); }

 private:
  void Serve();
  void ServeOne(int socket);
  void AnswerLookup();

  int listener_ = -1;
  int udp_ = -1;
  uint16_t port_ = 0;
  std::string instance_;
  std::atomic<bool> stop_{false};
  std::atomic<int> lookups_{0};
  mutable std::mutex mutex_;
  mutable std::condition_variable served_;
  std::vector<TdsLogin> logins_;
  std::thread thread_;
};

// One login as text lines "key=value" (workstation, user, password, app, server,
// database, integrated, encryption, tds_version), for scripts to compare.
std::string LoginLines(const TdsLogin& login);

}  // namespace quillor::testing
