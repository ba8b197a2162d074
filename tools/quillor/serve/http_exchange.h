// What the server's engine hands the service of one request, and what it gets
// back: no type of the HTTP library shows here, so the service and its tests
// build without it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillor::serve {

// The request line and the headers the service decides on.
struct RequestHead {
  std::string method;
  std::string target;                      // as sent
  std::string path;                        // the target without its query
  int version = 11;                        // 10 or 11
  std::string client;                      // address:port
  std::vector<std::string> authorization;  // every Authorization value, in order
  std::string content_type;
  std::optional<uint64_t> content_length;
  bool chunked = false;
  bool expects_continue = false;
  bool keep_alive = true;
  std::chrono::steady_clock::time_point start;
};

// A whole answer; `close` ends the connection after it.
struct Reply {
  int status = 200;
  std::string content_type;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool close = false;
  // Said to an HTTP/1.0 client that asked to keep the connection and keeps it.
  bool keep_alive = false;
  // On a connection kept open: the seconds it may then wait for the next
  // request (Keep-Alive: timeout=N), so that a client does not reuse it later.
  int idle_seconds = 0;
  bool head_only = false;  // the answer to HEAD: the headers of the body, not the body
};

// A short text answer; a refusal closes the connection, since what the client
// sent after the headers was not read.
Reply TextReply(int status, std::string_view text, bool close);

// The reason phrase of a status.
const char* ReasonOf(int status);

// How the end of a body is told: by its length, by the last chunk, or (to an
// HTTP/1.0 client, for a body whose length is not known at its start) by the
// end of the connection.
enum class BodyFraming { kLength, kChunked, kUntilClose };

// The status line and headers of a reply.
std::string ReplyHead(const Reply& reply, BodyFraming framing);

// A whole reply as it goes on the wire.
std::string ReplyBytes(const Reply& reply);

// One chunk of a chunked body ("SIZE\r\nDATA\r\n"); the empty chunk ends it.
std::string Chunk(std::string_view data);

// Takes the parts of an answer whose length is not known when it starts, on the
// worker thread that makes it: each call returns once the bytes are queued for
// the client, false once they cannot be sent (the client went away or stopped
// reading).
class ReplyStream {
 public:
  virtual ~ReplyStream() = default;
  virtual bool Begin(const Reply& head) = 0;  // the head of a chunked answer
  virtual bool Write(std::string_view part) = 0;
  virtual bool Finish() = 0;  // the last chunk
};

}  // namespace quillor::serve
