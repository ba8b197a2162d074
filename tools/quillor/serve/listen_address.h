// The address the server listens on, as given by --listen HOST:PORT.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor::serve {

struct ListenAddress {
  std::string host;  // without the brackets of an IPv6 literal
  int port = 0;      // 0 asks the system for a free port
};

// "127.0.0.1:8080", "localhost:0", "[::1]:8443". Nothing for a text without a
// port, an empty host or a port outside 0 to 65535.
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

// True for addresses only this machine can reach: "localhost", 127.0.0.0/8 and ::1.
bool IsLoopback(const std::string& host);

// host:port as a URL spells it (an IPv6 literal in brackets).
std::string UrlAuthority(const std::string& host, int port);

}  // namespace quillor::serve
