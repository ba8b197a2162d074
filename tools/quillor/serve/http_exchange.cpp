#include "tools/quillor/serve/http_exchange.h"

#include <cstdio>

namespace quillor::serve {

Reply TextReply(int status, std::string_view text, bool close) {
  Reply reply;
  reply.status = status;
  reply.content_type = "text/plain; charset=utf-8";
  reply.body = std::string(text) + "\n";
  reply.close = close;
  return reply;
}

const char* ReasonOf(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

std::string ReplyHead(const Reply& reply, BodyFraming framing) {
  std::string head =
      "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonOf(reply.status) + "\r\n";
  if (!reply.content_type.empty()) head += "Content-Type: " + reply.content_type + "\r\n";
  if (framing == BodyFraming::kChunked) {
    head += "Transfer-Encoding: chunked\r\n";
  } else if (framing == BodyFraming::kLength) {
    head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
  }
  for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
  if (reply.close || framing == BodyFraming::kUntilClose) {
    head += "Connection: close\r\n";
  } else {
    if (reply.keep_alive) head += "Connection: keep-alive\r\n";
    if (reply.idle_seconds > 0) {
      head += "Keep-Alive: timeout=" + std::to_string(reply.idle_seconds) + "\r\n";
    }
  }
  head += "\r\n";
  return head;
}

std::string ReplyBytes(const Reply& reply) {
  std::string bytes = ReplyHead(reply, BodyFraming::kLength);
  if (!reply.head_only) bytes += reply.body;
  return bytes;
}

std::string Chunk(std::string_view data) {
  char size[24];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  std::string chunk = size;
  chunk += data;
  chunk += "\r\n";
  return chunk;
}

}  // namespace quillor::serve
