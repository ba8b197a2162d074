#include "tools/quillor/serve/http_limits.h"

#include <array>

#include "tools/quillor/command_text.h"

namespace quillor::serve {

std::optional<Reply> CheckFraming(const RequestFraming& f) {
  if (!f.method_known) return TextReply(400, "no such method", true);
  if (f.version != 10 && f.version != 11) return TextReply(400, "no such HTTP version", true);
  if (f.request_line_bytes > kRequestLineBytes) {
    return TextReply(414, "the request line is longer than 8 KiB", true);
  }
  if (f.field_count > kHeaderFields || f.field_bytes > kHeaderBytes) {
    return TextReply(431, "the headers are over 100 fields or 64 KiB", true);
  }
  if (f.version == 11 && f.host_count != 1) {
    return TextReply(400, "an HTTP/1.1 request names one Host", true);
  }
  // A coding the server cannot undo leaves the body's end unknown: the request
  // cannot be read, nor what follows it.
  if (f.transfer_encoding && !SameIgnoringCase(WithoutBlanks(*f.transfer_encoding), "chunked")) {
    return TextReply(501, "the only transfer coding taken is chunked", true);
  }
  return std::nullopt;
}

Reply TrailersTooLarge() {
  return TextReply(431, "the trailers of the chunked body are over 100 fields or 16 KiB", true);
}

bool IsKnownMethod(std::string_view method) {
  static constexpr std::array<std::string_view, 9> kMethods = {
      "GET", "HEAD", "POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH"};
  for (const std::string_view known : kMethods) {
    if (method == known) return true;
  }
  return false;
}

}  // namespace quillor::serve
