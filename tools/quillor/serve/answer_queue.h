// What a connection's client has not yet taken of its answer. The worker (or
// the I/O thread) puts the bytes in as they are made and goes on at once; the
// I/O thread sends them as the client takes them. Bytes are kept in memory
// within a bound per connection and a bound over every connection together,
// and past either in a spool file of the connection's own, deleted as it is
// made, so that a client's pace never holds a worker nor grows the memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

namespace quillor::serve {

// The memory held by every connection's unsent answers together.
class BufferBudget {
 public:
  explicit BufferBudget(uint64_t most) : most_(most) {}
  // Counts the bytes in, unless that would pass the bound.
  bool Take(uint64_t bytes);
  void Give(uint64_t bytes) { held_.fetch_sub(bytes); }
  uint64_t held() const { return held_.load(); }
  uint64_t most() const { return most_; }

 private:
  const uint64_t most_;
  std::atomic<uint64_t> held_{0};
};

class AnswerQueue {
 public:
  // A connection keeps at most this much of an answer in memory.
  static constexpr size_t kOwnMemory = 4u << 20;
  // What is read back from the spool at a time.
  static constexpr size_t kSpoolRead = 64u << 10;

  AnswerQueue(BufferBudget& budget, std::string spool_dir, size_t own_memory = kOwnMemory);
  ~AnswerQueue();
  AnswerQueue(const AnswerQueue&) = delete;
  AnswerQueue& operator=(const AnswerQueue&) = delete;

  // By the one thread making the answer. False once the queue was dropped, or
  // when the spool could not be written (the queue is dropped then).
  bool Append(std::string bytes);

  // By the thread that sends: the next bytes, left in the queue until
  // Consume; empty when nothing waits. A spool failure drops the queue.
  std::string_view Front();
  void Consume(size_t bytes);

  // By the sender, with no write of its own in progress: everything waiting is
  // let go, and every later Append is refused.
  void Drop();
  bool dropped() const;
  // Between answers, with nothing waiting: the spool file is closed.
  void Release();
  // What was written to the spool since the last Release.
  uint64_t spooled() const;

 private:
  struct Piece {
    std::string memory;  // when not in the spool
    bool in_spool = false;
    uint64_t offset = 0;  // of the unread bytes, in the spool
    uint64_t length = 0;
  };

  bool Spool(std::string_view bytes);  // without the lock; by the producer
  void DropLocked();

  BufferBudget& budget_;
  const std::string spool_dir_;
  const size_t own_memory_;
  mutable std::mutex mutex_;
  std::deque<Piece> pieces_;
  size_t front_used_ = 0;  // bytes of the front memory piece already sent
  size_t memory_ = 0;      // counted in the budget
  bool dropped_ = false;
  int spool_fd_ = -1;
  uint64_t spool_end_ = 0;  // the producer's
  uint64_t spooled_ = 0;
  std::string staging_;  // the sender's: read back from the spool
  size_t staging_used_ = 0;
};

}  // namespace quillor::serve
