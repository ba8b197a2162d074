#include "tools/quillor/serve/worker_pool.h"

#include <exception>

namespace quillor::serve {

namespace {

thread_local WorkerState* current_worker = nullptr;
thread_local bool refusing = false;

}  // namespace

WorkerPool::WorkerPool(size_t threads, size_t queue_limit, MakeComponent make)
    : queue_limit_(queue_limit), make_(std::move(make)) {
  for (size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  refusal_thread_ = std::thread([this] { Refuse(); });
}

WorkerPool::~WorkerPool() { shutdown(); }

void WorkerPool::enqueue(std::function<void()> fn) {
  {
    std::lock_guard lock(mutex_);
    const size_t free_workers = threads_.size() - busy_;
    if (jobs_.size() >= free_workers + queue_limit_) {
      refusals_.push_back(std::move(fn));
    } else {
      jobs_.push_back(std::move(fn));
    }
  }
  ready_.notify_all();
}

void WorkerPool::shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && threads_.empty()) return;
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  if (refusal_thread_.joinable()) refusal_thread_.join();
}

WorkerState* WorkerPool::Current() { return current_worker; }
bool WorkerPool::Refusing() { return refusing; }

size_t WorkerPool::busy() const {
  std::lock_guard lock(mutex_);
  return busy_;
}

size_t WorkerPool::queued() const {
  std::lock_guard lock(mutex_);
  return jobs_.size();
}

std::function<void()> WorkerPool::Next(std::deque<std::function<void()>>& queue, bool counts_busy) {
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [&] { return !queue.empty() || stopping_; });
  if (queue.empty()) return {};
  std::function<void()> job = std::move(queue.front());
  queue.pop_front();
  if (counts_busy) ++busy_;
  return job;
}

void WorkerPool::Work() {
  // The object is created here, on the thread that will make every call on it,
  // and released here when the thread ends.
  WorkerState state;
  try {
    state.component = make_();
  } catch (const std::exception& e) {
    state.failure = e.what();
  }
  current_worker = &state;
  while (std::function<void()> job = Next(jobs_, true)) {
    job();
    std::lock_guard lock(mutex_);
    --busy_;
  }
  current_worker = nullptr;
}

void WorkerPool::Refuse() {
  refusing = true;
  while (std::function<void()> job = Next(refusals_, false)) job();
}

}  // namespace quillor::serve
