#include "tools/quillor/serve/http_exchange.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

TEST(HttpExchange, RepliesAreWrittenByteForByte) {
  Reply reply = TextReply(413, "too large", true);
  reply.headers.emplace_back("Retry-After", "1");
  EXPECT_EQ(ReplyBytes(reply),
            "HTTP/1.1 413 Payload Too Large\r\nContent-Type: text/plain; charset=utf-8\r\n"
            "Content-Length: 10\r\nRetry-After: 1\r\nConnection: close\r\n\r\ntoo large\n");

  Reply ok;
  ok.content_type = "application/xml; charset=utf-8";
  ok.body = "<reply/>\n";
  EXPECT_EQ(ReplyBytes(ok),
            "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
            "Content-Length: 9\r\n\r\n<reply/>\n");
  ok.head_only = true;
  EXPECT_EQ(ReplyBytes(ok),
            "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
            "Content-Length: 9\r\n\r\n");
  EXPECT_EQ(ReplyHead(ok, BodyFraming::kChunked),
            "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
            "Transfer-Encoding: chunked\r\n\r\n");
  // To an HTTP/1.0 client a body of unknown length ends with the connection.
  EXPECT_EQ(ReplyHead(ok, BodyFraming::kUntilClose),
            "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
            "Connection: close\r\n\r\n");
  ok.head_only = false;
  ok.keep_alive = true;
  EXPECT_EQ(ReplyBytes(ok),
            "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
            "Content-Length: 9\r\nConnection: keep-alive\r\n\r\n<reply/>\n");
  // A connection kept open says how long it waits for the next request; one
  // that closes says nothing of it.
  ok.idle_seconds = 5;
  EXPECT_EQ(
      ReplyHead(ok, BodyFraming::kChunked),
      "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
      "Transfer-Encoding: chunked\r\nConnection: keep-alive\r\nKeep-Alive: timeout=5\r\n\r\n");
  ok.close = true;
  EXPECT_EQ(ReplyHead(ok, BodyFraming::kLength),
            "HTTP/1.1 200 OK\r\nContent-Type: application/xml; charset=utf-8\r\n"
            "Content-Length: 9\r\nConnection: close\r\n\r\n");
}

TEST(HttpExchange, ChunksCarryTheirSizeInHexadecimal) {
  EXPECT_EQ(Chunk("abc"), "3\r\nabc\r\n");
  EXPECT_EQ(Chunk(std::string(255, 'x')), "ff\r\n" + std::string(255, 'x') + "\r\n");
  EXPECT_EQ(Chunk(""), "0\r\n\r\n");
  for (const int status : {400, 401, 404, 405, 408, 413, 414, 415, 431, 500, 501, 503}) {
    EXPECT_STRNE(ReasonOf(status), "Error") << status;
  }
}

}  // namespace
}  // namespace quillor::serve
