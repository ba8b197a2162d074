// One JSON line per answered request, written to standard error. It names the
// request but never carries its body or its Authorization header.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/quillor/serve/reply_items.h"

namespace quillor::serve {

struct AccessRecord {
  std::chrono::system_clock::time_point time;
  std::string client;  // address:port
  std::string method;
  std::string path;
  int status = 0;
  std::string code;  // the reply's own code; empty for a normal reply
  std::string proc;
  std::string docid;
  ItemCounts items;
  ItemReasons refused;  // logged as "refused", its reasons cut at 256 bytes in all
  // Logged as "request_bytes" and "limit" when the component refused the request
  // as larger than its bound.
  std::optional<uint64_t> request_bytes;
  std::optional<uint64_t> limit;
  double duration_ms = 0;
  // "delivered": false for an answer cut short (the client left or stopped
  // taking it); "bytes_sent": what reached the client of head and body.
  bool delivered = true;
  uint64_t bytes_sent = 0;
};

// {"time":"2026-01-02T03:04:05.678Z","client":"127.0.0.1:5000","method":"POST",...
// "status":200,"delivered":true,...,"duration_ms":1.234,"bytes_sent":512}
// without a line feed. Texts from the request are escaped and cut to a bounded length.
// A reply with refused items adds "refused":{"101":["D09: the department is not ..."]};
// the oversized-request reply adds "request_bytes":N,"limit":M after the items.
std::string AccessLine(const AccessRecord& record);

// Escapes a text for a JSON string (without the quotes); bytes that are not
// printable ASCII become \u00XX.
std::string JsonEscaped(std::string_view text);

}  // namespace quillor::serve
