#include "tools/quillor/serve/answer_queue.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace quillor::serve {
namespace {

// Takes everything out, `step` bytes at a time at most, as a slow client would.
std::string Drain(AnswerQueue& queue, size_t step) {
  std::string out;
  for (std::string_view next; !(next = queue.Front()).empty();) {
    const size_t n = std::min(step, next.size());
    out.append(next.substr(0, n));
    queue.Consume(n);
  }
  return out;
}

std::string Bytes(size_t size, char first) {
  std::string bytes(size, first);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(first + i % 23);
  return bytes;
}

TEST(AnswerQueue, BytesComeOutInOrderWhetherKeptInMemoryOrSpooled) {
  testing::TempDir dir;
  struct Case {
    const char* what;
    uint64_t budget;
    size_t own;
    bool spools;
  };
  const std::vector<Case> table = {
      {"all in memory", 1u << 30, 1u << 20, false},
      {"past the connection's own bound", 1u << 30, 1000, true},
      {"past the bound of every connection together", 5000, 1u << 20, true},
      {"no memory at all", 0, 1u << 20, true},
  };
  for (const Case& c : table) {
    BufferBudget budget(c.budget);
    AnswerQueue queue(budget, dir.path().string(), c.own);
    std::string expected;
    for (int i = 0; i < 20; ++i) {
      const std::string piece = Bytes(100 + i * 997, static_cast<char>('a' + i));
      expected += piece;
      ASSERT_TRUE(queue.Append(piece)) << c.what;
      if (i == 10) expected.erase(0, Drain(queue, 333).size());  // read half-way
    }
    EXPECT_LE(budget.held(), c.budget) << c.what;
    EXPECT_EQ(queue.spooled() > 0, c.spools) << c.what;
    EXPECT_TRUE(Drain(queue, 4096) == expected) << c.what;
    EXPECT_EQ(budget.held(), 0u) << c.what;  // all given back once sent
    queue.Release();
    EXPECT_EQ(queue.spooled(), 0u) << c.what;
  }
}

TEST(AnswerQueue, ADroppedQueueRefusesMoreAndGivesItsMemoryBack) {
  testing::TempDir dir;
  BufferBudget budget(1u << 20);
  AnswerQueue queue(budget, dir.path().string());
  ASSERT_TRUE(queue.Append("head"));
  EXPECT_EQ(budget.held(), 4u);
  queue.Drop();
  EXPECT_EQ(budget.held(), 0u);
  EXPECT_FALSE(queue.Append("more"));
  EXPECT_TRUE(queue.Front().empty());
  EXPECT_TRUE(queue.dropped());
}

TEST(AnswerQueue, ASpoolThatCannotBeMadeDropsTheQueue) {
  BufferBudget budget(0);
  AnswerQueue queue(budget, "/nonexistent/spool");
  EXPECT_FALSE(queue.Append("bytes"));
  EXPECT_TRUE(queue.dropped());
}

}  // namespace
}  // namespace quillor::serve
