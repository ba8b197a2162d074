// The server's task queue. A fixed set of worker threads serve the accepted
// connections; each thread creates its own component object when it starts and
// keeps it until it ends. Connections wait in a bounded queue for a free worker;
// one that finds every worker busy and the queue full goes to a refusal thread,
// whose requests are answered 503 at once.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
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

class WorkerPool final : public httplib::TaskQueue {
 public:
  using MakeComponent = std::function<std::unique_ptr<WorkerComponent>()>;

  WorkerPool(size_t threads, size_t queue_limit, MakeComponent make);
  ~WorkerPool() override;

  void enqueue(std::function<void()> fn) override;
  // Lets every queued connection run, then ends and joins every thread.
  void shutdown() override;

  // The state of the worker the calling thread is; none on any other thread.
  static WorkerState* Current();
  // True on the refusal thread.
  static bool Refusing();

  size_t threads() const { return threads_.size(); }
  size_t busy() const;
  size_t queued() const;

 private:
  void Work();
  void Refuse();
  // The next job of a queue, waiting for one; empty once the pool stops and the
  // queue is drained. A job taken from the workers' queue counts as busy.
  std::function<void()> Next(std::deque<std::function<void()>>& queue, bool counts_busy);

  const size_t queue_limit_;
  const MakeComponent make_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::deque<std::function<void()>> refusals_;
  size_t busy_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
  std::thread refusal_thread_;
};

}  // namespace quillor::serve
