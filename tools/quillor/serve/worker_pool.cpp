#include "tools/quillor/serve/worker_pool.h"

#include <algorithm>
#include <exception>

namespace quillor::serve {

namespace {

// The worker reading on this thread, and the job a handler gave it meanwhile.
struct ReadingSlot {
  const WorkerPool* pool;
  size_t index;
  WorkerPool::Job job;
};
thread_local ReadingSlot* reading_slot = nullptr;

}  // namespace

WorkerPool::WorkerPool(size_t threads, size_t queue_limit, MakeComponent make)
    : thread_count_(threads), queue_limit_(queue_limit), make_(std::move(make)), started_(threads) {
  for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this, i] { Work(i); });
}

WorkerPool::~WorkerPool() { Shutdown(); }

bool WorkerPool::TrySubmit(Job job) {
  if (ReadingSlot* slot = reading_slot; slot && slot->pool == this && !slot->job) {
    // The reader serves it itself once it lets the turn go: counted busy now,
    // so that the next request read finds the worker taken.
    const std::lock_guard lock(mutex_);
    if (stopping_) return false;
    ++busy_;
    started_[slot->index] = std::chrono::steady_clock::now();
    slot->job = std::move(job);
    return true;
  }
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    const size_t free_workers = thread_count_ - busy_;
    if (jobs_.size() >= free_workers + queue_limit_) return false;
    jobs_.push_back(std::move(job));
  }
  ready_.notify_one();
  return true;
}

void WorkerPool::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
  threads_.clear();
}

bool WorkerPool::Full() const {
  std::lock_guard lock(mutex_);
  return stopping_ || jobs_.size() >= thread_count_ - busy_ + queue_limit_;
}

size_t WorkerPool::busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

size_t WorkerPool::queued() const {
  std::lock_guard lock(mutex_);
  return jobs_.size();
}

std::optional<std::chrono::steady_clock::duration> WorkerPool::StuckFor(
    std::chrono::steady_clock::duration bound) const {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  if (started_.empty()) return std::nullopt;
  std::chrono::steady_clock::duration shortest = std::chrono::steady_clock::duration::max();
  for (const auto& started : started_) {
    if (!started || now - *started <= bound) return std::nullopt;
    shortest = std::min(shortest, now - *started);
  }
  return shortest;
}

void WorkerPool::ReadBetweenJobs(ReadingTurn* turn) {
  std::unique_lock lock(mutex_);
  turn_ = turn;
  if (turn) {
    ready_.notify_all();
    return;
  }
  let_go_.wait(lock, [&] { return reading_ == 0; });
}

bool WorkerPool::WakeIdleReader() {
  const std::lock_guard lock(mutex_);
  if (!turn_ || waiting_ == 0) return false;
  ready_.notify_one();
  return true;
}

bool WorkerPool::ReaderHasJob() { return reading_slot && reading_slot->job; }

WorkerPool::Job WorkerPool::ReadOnce(ReadingTurn& turn, size_t index, bool& read) {
  ReadingSlot slot{this, index, {}};
  reading_slot = &slot;
  try {
    read = turn.TryRunOne(index);
  } catch (...) {  // the engine's handlers report their own faults
    read = true;
  }
  reading_slot = nullptr;
  const std::lock_guard lock(mutex_);
  if (--reading_ == 0) let_go_.notify_all();
  return std::move(slot.job);
}

void WorkerPool::Run(Job& job, WorkerState& state, size_t index) {
  std::function<void()> after = job(state);
  {
    std::lock_guard lock(mutex_);
    --busy_;
    started_[index].reset();
  }
  if (after) after();
}

void WorkerPool::Work(size_t index) {
  // The object is created here, on the thread that will make every call on it,
  // and released here when the thread ends.
  WorkerState state;
  try {
    state.component = make_();
  } catch (const std::exception& e) {
    state.failure = e.what();
  }
  // A worker that found the turn held waits until it is woken (a job, or the
  // watch finding the turn free) before it tries again.
  bool may_read = true;
  for (;;) {
    Job job;
    ReadingTurn* turn = nullptr;
    {
      std::unique_lock lock(mutex_);
      for (;;) {
        if (!jobs_.empty()) {
          job = std::move(jobs_.front());
          jobs_.pop_front();
          ++busy_;
          started_[index] = std::chrono::steady_clock::now();
          break;
        }
        if (stopping_) return;
        if (turn_ && may_read) {
          turn = turn_;
          ++reading_;
          break;
        }
        ++waiting_;
        ready_.wait(lock);
        --waiting_;
        may_read = true;
      }
    }
    if (turn) {
      bool read = false;
      job = ReadOnce(*turn, index, read);
      may_read = read;
      if (!job) continue;
    }
    Run(job, state, index);
    may_read = true;
  }
}

}  // namespace quillor::serve
