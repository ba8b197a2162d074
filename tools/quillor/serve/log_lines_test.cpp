#include "tools/quillor/serve/log_lines.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace quillor::serve {
namespace {

// A stream that keeps each write apart, to tell whole lines from pieces.
class Writes : public std::streambuf {
 public:
  std::vector<std::string> writes;
  int flushes = 0;

 protected:
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    writes.emplace_back(text, static_cast<size_t>(n));
    return n;
  }
  int overflow(int c) override {
    if (c != EOF) writes.emplace_back(1, static_cast<char>(c));
    return c;
  }
  int sync() override {
    ++flushes;
    return 0;
  }
};

TEST(LogLines, AQuietServersLineIsWrittenAndFlushedBeforeWriteReturns) {
  Writes writes;
  std::ostream out(&writes);
  LogLines lines(out);
  lines.Write("first");
  ASSERT_EQ(writes.writes, std::vector<std::string>{"first\n"});
  EXPECT_GE(writes.flushes, 1);
  lines.Write("second");
  EXPECT_EQ(writes.writes.back(), "second\n");
  lines.Drain();  // nothing left: returns at once
}

TEST(LogLines, LinesOfManyThreadsAreWrittenWholeOnceEachAndInEachThreadsOrder) {
  Writes writes;
  std::ostream out(&writes);
  LogLines lines(out);
  constexpr int kThreads = 4;
  constexpr int kLines = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&lines, t] {
      for (int i = 0; i < kLines; ++i) {
        lines.Write("thread " + std::to_string(t) + " line " + std::to_string(i));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  lines.Drain();
  std::map<int, int> next;  // thread -> the line it should write next
  size_t total = 0;
  for (const std::string& write : writes.writes) {
    ASSERT_FALSE(write.empty());
    ASSERT_EQ(write.back(), '\n') << "a write ends inside a line";
    std::istringstream in(write);
    std::string line;
    while (std::getline(in, line)) {
      int thread = -1, number = -1;
      ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &thread, &number), 2) << line;
      EXPECT_EQ(number, next[thread]) << line;
      next[thread] = number + 1;
      ++total;
    }
  }
  EXPECT_EQ(total, static_cast<size_t>(kThreads * kLines));
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines) << t;
}

// A stream whose first write waits until it is let go, as a slow disk would.
class HeldWrites : public Writes {
 public:
  std::mutex mutex;
  std::condition_variable changed;
  bool writing = false;
  bool let_go = false;

 protected:
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    {
      std::unique_lock lock(mutex);
      writing = true;
      changed.notify_all();
      changed.wait(lock, [this] { return let_go; });
    }
    return Writes::xsputn(text, n);
  }
};

TEST(LogLines, ALineHandedOverDuringAWriteGoesOutWithTheNextWriteOfTheThreadWriting) {
  HeldWrites writes;
  std::ostream out(&writes);
  LogLines lines(out);
  std::thread first([&] { lines.Write("first"); });
  {
    std::unique_lock lock(writes.mutex);
    writes.changed.wait(lock, [&] { return writes.writing; });
  }
  // The first line is being written: the second is left to that write's thread,
  // and this thread does not wait for the disk.
  lines.Write("second");
  {
    std::lock_guard lock(writes.mutex);
    EXPECT_TRUE(writes.writes.empty());
    writes.let_go = true;
  }
  writes.changed.notify_all();
  first.join();
  EXPECT_EQ(writes.writes, (std::vector<std::string>{"first\n", "second\n"}));
}

}  // namespace
}  // namespace quillor::serve
