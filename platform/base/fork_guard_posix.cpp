#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <utility>

#include "platform/base/fork_guard.h"

namespace quillor {
namespace {

thread_local size_t guards_here = 0;

struct Gate {
  std::mutex mutex;
  // The child makes itself a new one and leaves the parent's as it is: threads
  // that waited on it in the parent are not in the child, and a condition
  // variable with waiters that will never wake can be neither used nor destroyed
  // there. The parent's goes with the library.
  std::condition_variable* changed = new std::condition_variable;
  size_t held = 0;  // guards held, on every thread
  bool forking = false;
  uint64_t last_id = 0;
  std::map<std::pair<ForkRank, uint64_t>, ForkHandlers> handlers;
  ~Gate() { delete changed; }
};

void Run(const std::function<void()>& handler) {
  if (!handler) return;
  try {
    handler();
  } catch (...) {  // nothing may leave a fork handler; the handlers do not throw
  }
}

Gate& TheGate();

void PrepareFork() {
  Gate& gate = TheGate();
  std::unique_lock lock(gate.mutex);
  gate.forking = true;
  gate.changed->wait(lock, [&] { return gate.held == guards_here; });
  (void)lock.release();  // held until the fork is over, in both processes
  for (const auto& [key, handlers] : gate.handlers) Run(handlers.prepare);
}

void AfterForkInParent() {
  Gate& gate = TheGate();
  for (auto at = gate.handlers.rbegin(); at != gate.handlers.rend(); ++at) Run(at->second.parent);
  gate.forking = false;
  gate.mutex.unlock();
  gate.changed->notify_all();
}

void AfterForkInChild() {
  Gate& gate = TheGate();
  for (auto at = gate.handlers.rbegin(); at != gate.handlers.rend(); ++at) Run(at->second.child);
  gate.changed = new std::condition_variable;
  gate.held = guards_here;  // the only thread left
  gate.forking = false;
  gate.mutex.unlock();
}

Gate& TheGate() {
  // Destroyed with the library (a library that is unloaded leaves nothing
  // behind); the system takes its fork handlers away with it.
  static Gate gate;
  static const bool registered =
      pthread_atfork(PrepareFork, AfterForkInParent, AfterForkInChild) == 0;
  (void)registered;
  return gate;
}

}  // namespace

ForkGuard::ForkGuard() : held_here_(&guards_here) {
  Gate& gate = TheGate();
  std::unique_lock lock(gate.mutex);
  if (guards_here == 0) gate.changed->wait(lock, [&] { return !gate.forking; });
  ++gate.held;
  ++guards_here;
}

ForkGuard::~ForkGuard() {
  Gate& gate = TheGate();
  const std::lock_guard lock(gate.mutex);
  --gate.held;
  --*static_cast<size_t*>(held_here_);
  if (gate.forking) gate.changed->notify_all();
}

uint64_t AddForkHandlers(ForkRank rank, ForkHandlers handlers) {
  Gate& gate = TheGate();
  const std::lock_guard lock(gate.mutex);
  const uint64_t id = ++gate.last_id;
  gate.handlers.emplace(std::pair(rank, id), std::move(handlers));
  return id;
}

void RemoveForkHandlers(uint64_t id) {
  Gate& gate = TheGate();
  const std::lock_guard lock(gate.mutex);
  std::erase_if(gate.handlers, [&](const auto& entry) { return entry.first.second == id; });
}

}  // namespace quillor
