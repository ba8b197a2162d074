#include "tools/quillor/serve/worker_pool.h"

#include <algorithm>
#include <exception>

namespace quillor::serve {

WorkerPool::WorkerPool(size_t threads, size_t queue_limit, MakeComponent make)
    : thread_count_(threads), queue_limit_(queue_limit), make_(std::move(make)), started_(threads) {
  for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this, i] { Work(i); });
}

WorkerPool::~WorkerPool() { Shutdown(); }

bool WorkerPool::TrySubmit(Job job) {
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

void WorkerPool::Work(size_t index) {
  // The object is created here, on the thread that will make every call on it,
  // and released here when the thread ends.
  WorkerState state;
  try {
    state.component = make_();
  } catch (const std::exception& e) {
    state.failure = e.what();
  }
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return !jobs_.empty() || stopping_; });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      ++busy_;
      started_[index] = std::chrono::steady_clock::now();
    }
    std::function<void()> after = job(state);
    {
      std::lock_guard lock(mutex_);
      --busy_;
      started_[index].reset();
    }
    if (after) after();
  }
}

}  // namespace quillor::serve
