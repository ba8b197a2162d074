#include "tools/quillor/serve/access_log.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

TEST(AccessLog, TextsAreEscapedForJson) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"plain /path", "plain /path"},
      {"a\"b", "a\\\"b"},
      {"back\\slash", "back\\\\slash"},
      {"line\nfeed\ttab", "line\\u000afeed\\u0009tab"},
      {std::string("nul\0x", 5), "nul\\u0000x"},
      {"\x7f", "\\u007f"},
      {"\xe6\x88\x90", "\\u00e6\\u0088\\u0090"},
  };
  for (const auto& [text, escaped] : table) EXPECT_EQ(JsonEscaped(text), escaped) << text;
}

TEST(AccessLog, OneLineWithEveryFieldAndTextsCut) {
  AccessRecord record;
  record.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1767323045678));
  record.client = "127.0.0.1:5000";
  record.method = "POST";
  record.path = "/transact";
  record.status = 200;
  record.code = "100";
  record.proc = "add";
  record.docid = "D\"1";
  record.items = {{"0", 2}, {"101", 1}};
  record.duration_ms = 1.23456;
  record.bytes_sent = 512;
  EXPECT_EQ(AccessLine(record),
            "{\"time\":\"2026-01-02T03:04:05.678Z\",\"client\":\"127.0.0.1:5000\",\"method\":"
            "\"POST\",\"path\":\"/transact\",\"status\":200,\"delivered\":true,\"code\":\"100\","
            "\"proc\":\"add\",\"docid\":\"D\\\"1\",\"items\":{\"0\":2,\"101\":1},"
            "\"duration_ms\":1.235,\"bytes_sent\":512}");
  // An answer cut short says so beside its status.
  record.delivered = false;
  EXPECT_NE(AccessLine(record).find("\"status\":200,\"delivered\":false,"), std::string::npos);
  record.delivered = true;

  record.request_bytes = 5000;
  record.limit = 2000;
  EXPECT_NE(
      AccessLine(record).find("\"items\":{\"0\":2,\"101\":1},\"request_bytes\":5000,\"limit\":2000,"
                              "\"duration_ms\":"),
      std::string::npos);

  record.path = "/" + std::string(1000, 'a');
  const std::string line = AccessLine(record);
  EXPECT_NE(line.find("\"path\":\"/" + std::string(255, 'a') + "\""), std::string::npos);
  EXPECT_EQ(line.find(std::string(256, 'a')), std::string::npos);
  EXPECT_EQ(line.find('\n'), std::string::npos);
}

// Each refused item's reason in English; a batch of many keeps its line short.
TEST(AccessLog, RefusedReasonsShareOneBudget) {
  AccessRecord record;
  record.items = {{"101", 2}};
  record.refused = {{"101", {"D09: the department is not a base costing department"}}};
  EXPECT_NE(AccessLine(record).find(
                R"("items":{"101":2},"refused":{"101":["D09: the department is not a base )"
                R"(costing department"]},"duration_ms")"),
            std::string::npos);
  record.refused = {{"100", {std::string(200, 'a')}}, {"101", {std::string(200, 'b'), "c"}}};
  const std::string line = AccessLine(record);
  EXPECT_NE(line.find(R"("refused":{"100":[")" + std::string(200, 'a') + R"("],"101":[")" +
                      std::string(56, 'b') + R"("]},)"),
            std::string::npos)
      << line;
  record.refused.clear();
  EXPECT_EQ(AccessLine(record).find("refused"), std::string::npos);
}

}  // namespace
}  // namespace quillor::serve
