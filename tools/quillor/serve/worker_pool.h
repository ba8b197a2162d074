// The workers that run complete requests. A fixed set of threads each create
// their own component object when they start and keep it until they end. A
// request waits in a bounded queue for a free worker; one that finds every
// worker busy and the queue full is not taken, and the engine refuses it.
// Connections that are still sending their request, or idle between requests,
// hold no worker and no place in the queue.
//
// A free worker also reads (ReadBetweenJobs): it takes the engine's reading turn,
// and a request it reads whole it serves itself, at once, without queueing it.
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

#include "tools/quillor/serve/reading_turn.h"
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

  // Queues the job unless every worker is busy and the queue is full. Submitted
  // by a worker while it reads, the job is that worker's next, not queued.
  bool TrySubmit(Job job);
  // From now on free workers take `turn` to read (nothing: they stop reading,
  // once every worker has let it go). The turn outlives its use here.
  void ReadBetweenJobs(ReadingTurn* turn);
  // Wakes a worker that waits, free, because another thread held the turn:
  // false when none does.
  bool WakeIdleReader();
  // On a worker's thread while it reads: a handler has given it a request to
  // serve.
  static bool ReaderHasJob();
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
  // Reads once on the worker's thread; the job a handler gave it meanwhile, if any.
  Job ReadOnce(ReadingTurn& turn, size_t index, bool& read);
  void Run(Job& job, WorkerState& state, size_t index);

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
  ReadingTurn* turn_ = nullptr;
  size_t reading_ = 0;              // workers inside the turn's TryRunOne
  size_t waiting_ = 0;              // free workers waiting for a job or a wake
  std::condition_variable let_go_;  // reading_ fell to 0
  std::vector<std::thread> threads_;
};

}  // namespace quillor::serve
