#include "tools/quillor/serve/http_limits.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

TEST(HttpLimits, AHeadIsRefusedForItsFramingWithTheRightStatus) {
  struct Case {
    const char* what;
    RequestFraming framing;
    int status;  // 0: taken
  };
  auto with = [](auto change) {
    RequestFraming f;
    f.host_count = 1;
    change(f);
    return f;
  };
  const std::vector<Case> table = {
      {"plain", with([](RequestFraming&) {}), 0},
      {"unknown method", with([](RequestFraming& f) { f.method_known = false; }), 400},
      {"HTTP/2.0", with([](RequestFraming& f) { f.version = 20; }), 400},
      {"HTTP/0.9", with([](RequestFraming& f) { f.version = 9; }), 400},
      {"line at 8 KiB", with([](RequestFraming& f) { f.request_line_bytes = 8192; }), 0},
      {"line over 8 KiB", with([](RequestFraming& f) { f.request_line_bytes = 8193; }), 414},
      {"100 fields", with([](RequestFraming& f) { f.field_count = 100; }), 0},
      {"101 fields", with([](RequestFraming& f) { f.field_count = 101; }), 431},
      {"fields over 64 KiB", with([](RequestFraming& f) { f.field_bytes = 65537; }), 431},
      {"no Host", with([](RequestFraming& f) { f.host_count = 0; }), 400},
      {"two Hosts", with([](RequestFraming& f) { f.host_count = 2; }), 400},
      {"HTTP/1.0 without Host", with([](RequestFraming& f) {
         f.version = 10;
         f.host_count = 0;
       }),
       0},
      {"chunked", with([](RequestFraming& f) { f.transfer_encoding = "chunked"; }), 0},
      {"Chunked in another case", with([](RequestFraming& f) { f.transfer_encoding = " Chunked"; }),
       0},
      {"gzip", with([](RequestFraming& f) { f.transfer_encoding = "gzip"; }), 501},
      {"gzip, chunked", with([](RequestFraming& f) { f.transfer_encoding = "gzip, chunked"; }),
       501},
      {"given twice", with([](RequestFraming& f) { f.transfer_encoding = ""; }), 501},
  };
  for (const Case& c : table) {
    const std::optional<Reply> refusal = CheckFraming(c.framing);
    EXPECT_EQ(refusal ? refusal->status : 0, c.status) << c.what;
    if (refusal) {
      EXPECT_TRUE(refusal->close) << c.what;
    }
  }
}

TEST(HttpLimits, TheMethodsOfHttp11InCapitals) {
  for (const char* m : {"GET", "HEAD", "POST", "PUT", "DELETE", "OPTIONS", "TRACE", "PATCH"}) {
    EXPECT_TRUE(IsKnownMethod(m)) << m;
  }
  for (const char* m : {"post", "BREW", "", "GET "}) EXPECT_FALSE(IsKnownMethod(m)) << m;
}

}  // namespace
}  // namespace quillor::serve
