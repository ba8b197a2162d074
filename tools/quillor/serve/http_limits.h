// The bounds on what a request may send before its body, and the framing a
// request must have to be read at all. Checked before the service sees it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tools/quillor/serve/http_exchange.h"

namespace quillor::serve {

inline constexpr size_t kRequestLineBytes = 8 * 1024;
inline constexpr size_t kHeaderBytes = 64 * 1024;  // every field line together
inline constexpr size_t kHeaderFields = 100;
// The trailer fields after a chunked body, bounded apart from the headers.
inline constexpr size_t kTrailerBytes = 16 * 1024;
inline constexpr size_t kTrailerFields = 100;
// What the parser reads before it gives up on a header: the request line and
// the fields at their bounds, and the lines' ends.
inline constexpr size_t kHeaderBytesRead = kRequestLineBytes + kHeaderBytes + 4;

// What the parser found in a request's head.
struct RequestFraming {
  bool method_known = true;  // one of the methods of HTTP/1.1, in capitals
  int version = 11;          // 10 for HTTP/1.0, 11 for HTTP/1.1
  size_t request_line_bytes = 0;
  size_t field_count = 0;
  size_t field_bytes = 0;  // the field lines with their line ends
  size_t host_count = 0;
  size_t trailer_count = 0;
  size_t trailer_bytes = 0;  // the trailer lines with their line ends
  std::optional<std::string> transfer_encoding;
};

// The refusal of a head that cannot be served, or nothing.
std::optional<Reply> CheckFraming(const RequestFraming& framing);

// The refusal of trailers past their bounds.
Reply TrailersTooLarge();

// The methods of HTTP/1.1.
bool IsKnownMethod(std::string_view method);

}  // namespace quillor::serve
