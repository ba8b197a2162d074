// The workers that run complete requests. A fixed set of threads each create
// their own component object when they start and keep it until they end. A
// request waits in a bounded queue for a free worker; one that finds every
// worker busy and the queue full is not taken, and the engine refuses it.
// Connections that are still sending their request, or idle between requests,
// hold no worker and no place in the queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/quillor/serve/worker_component.h"

namespace quillor::serve {

// What a worker thread holds for its life: its component object, or the reason
// it could not create one.
struct WorkerState {
  std::unique_ptr<WorkerComponent> component;
  std::string failure;
};

class WorkerPool {
 public:
  using MakeComponent = std::function<std::unique_ptr<WorkerComponent>()>;
  // A job gives back what to do once its worker counts as free again (sending
  // the answer), so that a client that has its answer finds the worker free.
  using Job = std::function<std::function<void()>(WorkerState&)>;

  WorkerPool(size_t threads, size_t queue_limit, MakeComponent make);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues the job unless every worker is busy and the queue is full.
  bool TrySubmit(Job job);
  // Lets every queued job run, then ends and joins every thread.
  void Shutdown();

  // True when TrySubmit would refuse now.
  bool Full() const;
  size_t threads() const { return thread_count_; }
  size_t busy() const;
  size_t queued() const;
  // When every worker has been in one job for longer than `bound`: the shortest
  // of those times. Nothing while any worker is free or newer to its job.
  std::optional<std::chrono::steady_clock::duration> StuckFor(
      std::chrono::steady_clock::duration bound) const;

 private:
  void Work(size_t index);

  const size_t thread_count_;
  const size_t queue_limit_;
  const MakeComponent make_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Job> jobs_;
  size_t busy_ = 0;
  // When each worker took its job; nothing for a free one.
  std::vector<std::optional<std::chrono::steady_clock::time_point>> started_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace quillor::serve
