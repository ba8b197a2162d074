// Requests no honest client sends: each gets a refusal, nothing is written, and
// the server goes on answering.
#include <gtest/gtest.h>
#include <signal.h>

#include "testing/serve_fixture.h"

namespace quillor::testing {
namespace {

struct Hostile {
  const char* what;
  std::string bytes;
  int status;  // 0: the connection ends or stays silent without an answer
};

std::string Post(const std::string& headers, const std::string& body) {
  return "POST /transact HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n" + body;
}

TEST(ServeHostile, EveryHostileRequestIsRefusedAndNothingIsWritten) {
  TestDb db;
  AddMasterRows(db, 5);
  const std::string add = ServeAddRequest({1});
  const std::string length = "Content-Length: " + std::to_string(add.size()) + "\r\n";
  const std::vector<Hostile> table = {
      {"request line that is no HTTP", "HELLO\r\n\r\n", 400},
      {"unknown method", "BREW /transact HTTP/1.1\r\nHost: x\r\n\r\n", 400},
      {"method in lower case", "post /transact HTTP/1.1\r\nHost: x\r\n" + length + "\r\n" + add,
       400},
      {"HTTP/0.9 request line", "GET /healthz\r\n\r\n", 400},
      {"unknown protocol version", "GET /healthz HTTP/7.0\r\nHost: x\r\n\r\n", 400},
      {"method the path does not take", "DELETE /transact HTTP/1.1\r\nHost: x\r\n\r\n", 405},
      {"TRACE", "TRACE /transact HTTP/1.1\r\nHost: x\r\n\r\n", 405},
      {"OPTIONS", "OPTIONS /transact HTTP/1.1\r\nHost: x\r\n\r\n", 405},
      {"path climbing up", "POST /../transact HTTP/1.1\r\nHost: x\r\n" + length + "\r\n" + add,
       404},
      {"path with a trailing slash",
       "POST /transact/ HTTP/1.1\r\nHost: x\r\n" + length + "\r\n" + add, 404},
      {"path in another case", "POST /Transact HTTP/1.1\r\nHost: x\r\n" + length + "\r\n" + add,
       404},
      {"encoded NUL in the path", "GET /healthz%00.html HTTP/1.1\r\nHost: x\r\n\r\n", 404},
      {"absolute URL to another host",
       "GET http://example.com/healthz HTTP/1.1\r\nHost: example.com\r\n\r\n", 404},
      {"path over 8 KiB", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
      // The bound is on the headers in all, not on one line.
      {"header line over 8 KiB",
       "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(9000, 'a') + "\r\n\r\n", 200},
      {"header without a colon", "GET /healthz HTTP/1.1\r\nHost: x\r\nno colon here\r\n\r\n", 400},
      {"negative length", Post("Content-Length: -5\r\n", add), 400},
      {"length that is no number", Post("Content-Length: 12abc\r\n", add), 400},
      {"two different lengths",
       Post("Content-Length: 3\r\nContent-Length: " + std::to_string(add.size()) + "\r\n", add),
       400},
      {"length beside a chunked body",
       Post(length + "Transfer-Encoding: chunked\r\n", "5\r\nabcde\r\n0\r\n\r\n"), 400},
      {"chunk size that is no number", Post("Transfer-Encoding: chunked\r\n", "zz\r\nab\r\n"), 400},
      {"length far over the limit", Post("Content-Length: 99999999999999\r\n", ""), 413},
      {"chunked body over the limit",
       Post("Transfer-Encoding: chunked\r\n",
            "800\r\n" + std::string(0x800, 'a') + "\r\n0\r\n\r\n"),
       413},
      {"form upload instead of a document",
       Post("Content-Type: multipart/form-data; boundary=b\r\n" + length, add), 415},
      {"token for a server that has none", Post("Authorization: Bearer guess\r\n" + length, add),
       200},
  };

  ServeProcess server(ServeArgs(db, {"--max-request-bytes", "1024", "--read-timeout", "2"}));
  for (const Hostile& h : table) {
    const std::string answer = RawHttp(server.port(), h.bytes, std::chrono::milliseconds(3000));
    EXPECT_EQ(StatusOf(answer), h.status) << h.what << "\n" << answer.substr(0, 300);
    if (h.status >= 400) {
      EXPECT_EQ(db.Rows("select count(*) from ca_mabsw")[0][0], "0") << h.what;
    }
  }
  EXPECT_EQ(db.Rows("select count(*) from ca_mabsw")[0][0], "1");  // the one honest request
  EXPECT_EQ(StatusOf(RawHttp(server.port(), "GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n")), 200);
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace quillor::testing
